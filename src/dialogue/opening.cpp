// The dialogue: every question is shown in full before its answer is read,
// and an answer out of bounds is refused: asked again at a terminal, the end
// of the run when the answers are piped.
#include "dialogue/opening.h"

#include <cstring>
#include <string>
#include <string_view>

#include "read/integer_literal.h"
#include "state.h"
#include "system/host.h"

namespace {

constexpr std::string_view banner_frame = "***********************************************************";
constexpr std::string_view banner_blank = "*                                                         *";
constexpr std::string_view banner_name = "*                        TALVERO                          *";
constexpr std::string_view banner_credit = "*      Pastes DXF drawings - by the TALVERO developers    *";
constexpr std::string_view banner_date = "*                         2026                            *";
static_assert(banner_frame.size() == 59 && banner_blank.size() == 59 && banner_name.size() == 59 &&
              banner_credit.size() == 59 && banner_date.size() == 59);

constexpr std::string_view ask_folder = "\n\n\tName of the File Folder located in the Directory C:\\images : ";
constexpr std::string_view ask_count = "\n\n\tNumber of Files to paste ? ";
constexpr std::string_view ask_result = "\n\n\tName of the resulting dxf File (without extension .dxf) ? ";

constexpr std::string_view refuse_count = "\n\tPlease answer with a whole number of files.";
constexpr std::string_view refuse_many = "\n\tAt most 99 files can be pasted at once.";
constexpr std::string_view refuse_long = "\n\tThat name makes the path longer than 127 characters.";
constexpr std::string_view refuse_input = "\n\tThe resulting file cannot be one of the files to paste.";
// Answers that name what is not there, or what must not be replaced, are
// refused in the same way, on one line that names both paths.
constexpr std::string_view refuse_folder = "\n\tThere is no folder ";
constexpr std::string_view refuse_drawing = "\n\tCannot open ";
constexpr std::string_view refuse_protected = "\n\tWrite-protected, not replaced: ";

constexpr std::string_view extension = ".dxf";

void show_banner() {
  const std::string_view lines[13] = {banner_frame, banner_blank, banner_blank, banner_name,  banner_blank,
                                      banner_blank, banner_blank, banner_blank, banner_blank, banner_credit,
                                      banner_date,  banner_blank, banner_frame};
  for (std::string_view line : lines) {
    console.text("\n\t");
    console.text(line);
  }
}

void ask(std::string_view question) {
  console.text(question);
  console.flush();
}

// Reads one name; false when standard input has ended. A name ends at its
// first NUL byte: the paths built from it are NUL-terminated strings.
bool read_name(std::string& name) {
  if (!console.in.read_token(name)) return false;
  if (std::size_t nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
  return true;
}

// A composed path and where it lies on this host, as refusals name them.
std::string both(const std::string& composed) { return both_paths(composed, host::map_path(composed)); }

bool input_ended() {
  console.complain("standard input ended before every answer was given; nothing was written");
  return false;
}

// An answer as a message quotes it: a megabyte-long one is cut short.
std::string quoted(std::string_view answer) {
  constexpr std::size_t longest = 127;
  std::string q(1, '\'');
  q.append(answer.substr(0, longest));
  if (answer.size() > longest) q += "...";
  q += '\'';
  return q;
}

// Why an answer is refused: the console's text, and the same said in a line.
struct Refusal {
  std::string shown;
  std::string why;
};

// At a terminal, a refused answer is shown refused and the question is asked
// again: true. Piped answers would no longer match their questions (the next
// one would answer the refused one's question), so the run stops: false,
// after saying which answer and why.
bool asked_again(std::string_view answer, const Refusal& r) {
  console.text(r.shown);
  if (console.answers_from_terminal()) return true;
  console.complain("the answer " + quoted(answer) + " is refused: " + r.why + "; nothing was written");
  return false;
}

Refusal too_long() { return {std::string(refuse_long), "that name makes the path longer than 127 characters"}; }

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// True when the composed output path would replace one of the inputs.
bool names_an_input(const std::string& output) {
  std::string output_host = host::map_path(output);
  for (int n = 1; n <= num_arch; ++n) {
    std::string input(reinterpret_cast<const char*>(capas[n].nombre));
    if (same_text_ignoring_case(input, output) || host::same_file(host::map_path(input), output_host)) return true;
  }
  return false;
}

void store(unsigned char (&field)[128], const std::string& path) { std::memcpy(field, path.c_str(), path.size() + 1); }

}  // namespace

bool opening() {
  show_banner();
  std::string nomim1 = std::string(host::images_prefix);

  // The folder must leave room for at least a one-letter name and ".dxf",
  // and must be there.
  std::string nomdir;
  for (;;) {
    ask(ask_folder);
    if (!read_name(nomdir)) return input_ended();
    Refusal refused;
    if (nomim1.size() + nomdir.size() + 1 + 1 + extension.size() > max_path) {
      refused = too_long();
    } else {
      const std::string folder = nomim1 + nomdir + '\\';
      if (host::is_folder(host::map_path(folder))) break;
      refused.why = "there is no folder " + both(folder);
      refused.shown = std::string(refuse_folder) + both(folder) +
                      (host::images_folder_set() ? std::string(".")
                                                 : "; TALVERO_IMAGES can name the folder that stands for " +
                                                       std::string(host::images_prefix) + ".");
    }
    if (!asked_again(nomdir, refused)) return false;
  }
  nomim1 += nomdir;
  nomim1 += '\\';
  std::memcpy(nomgen, nomim1.c_str(), nomim1.size() + 1);

  // The count is one whole token, an optional sign and decimal digits
  // saturated to 32 bits: "2.5" or "2x" is refused, not taken as 2.
  std::string count_answer;
  for (;;) {
    ask(ask_count);
    if (!console.in.read_token(count_answer)) return input_ended();
    int count = 0;
    Refusal refused;
    if (!literal::whole_integer(count_answer, count)) {
      refused = {std::string(refuse_count), "it is not a whole number of files"};
    } else if (count > max_inputs) {
      refused = {std::string(refuse_many), "at most 99 files can be pasted at once"};
    } else {
      num_arch = count;
      break;
    }
    if (!asked_again(count_answer, refused)) return false;
  }

  std::string nomfic;
  for (int n = 1; n <= num_arch;) {
    console.text("\n\n\tName of the dxf File number ");
    console.out.put_int(n);
    ask(" (without extension .dxf) ? ");
    if (!read_name(nomfic)) return input_ended();
    std::string nomim2 = nomgen + nomfic + std::string(extension);
    std::string why;
    Refusal refused;
    if (nomim2.size() > max_path) {
      refused = too_long();
    } else if (!host::can_read(host::map_path(nomim2), why)) {
      refused = {std::string(refuse_drawing) + both(nomim2) + ": " + why + ".",
                 "cannot open " + both(nomim2) + ": " + why};
    } else {
      store(capas[n].nombre, nomim2);
      ++n;
      continue;
    }
    if (!asked_again(nomfic, refused)) return false;
  }

  std::string nomfic1;
  for (;;) {
    ask(ask_result);
    if (!read_name(nomfic1)) return input_ended();
    std::string output = nomgen + nomfic1 + std::string(extension);
    Refusal refused;
    if (output.size() > max_path) {
      refused = too_long();
    } else if (names_an_input(output)) {
      refused = {std::string(refuse_input), "the resulting file cannot be one of the files to paste"};
    } else if (host::existing_file(host::map_path(output)) == host::Existing::write_protected) {
      refused = {std::string(refuse_protected) + both(output) + ".",
                 both(output) + " is write-protected: it is not replaced"};
    } else {
      nomim1 = output;
      break;
    }
    if (!asked_again(nomfic1, refused)) return false;
  }

  // Piped answers must end with the last question: a word left over means
  // they were not the answers to these questions (a count one too low, a
  // name with a space in it whose halves both name drawings), and the
  // result would not be what was meant.
  // At a terminal, what is typed ahead stays unread.
  if (!console.answers_from_terminal()) {
    std::string left_over;
    if (console.in.read_token(left_over)) {
      console.complain("the answers do not match the questions: " + quoted(left_over) +
                       " is left over after the last one; nothing was written");
      return false;
    }
  }

  std::string why;
  if (!f2.create(nomim1, why)) {
    console.complain("cannot create the resulting file " + both(nomim1) + ": " + why);
    return false;
  }
  return true;
}
