// Reading ahead and background writes on the worker thread.
#include "fast/double_buffering.h"

#include <utility>

#include "fast/bitmap.h"
#include "system/host.h"

namespace fast {

void ReadAhead::load(Slot& slot) {
  if (slot.bits.size() != bitmap_words(capacity)) slot.bits.assign(bitmap_words(capacity), 0);
  // The block's whitespace marked in the bitmap given as context.
  const auto mark = [](const char* p, std::size_t n, void* bits) {
    return space_bits(p, n, static_cast<std::uint64_t*>(bits));
  };
  load_block(*source, slot.block, capacity, mark, slot.bits.data());
}

void ReadAhead::start_loading(Slot& slot) {
  if (worker == nullptr) return;
  // The slot must be sized here: the reader's thread owns the vectors' sizes.
  if (slot.bits.size() != bitmap_words(capacity)) slot.bits.assign(bitmap_words(capacity), 0);
  if (slot.block.bytes.size() != capacity + block_margin) slot.block.bytes.assign(capacity + block_margin, '\0');
  ticket = worker->post([this, &slot] { load(slot); });
}

void ReadAhead::start(Source& s, std::size_t bytes) {
  stop();
  source = &s;
  capacity = bytes;
  start_loading(slots[1 - current]);
}

void ReadAhead::stop() {
  if (ticket != 0) worker->wait(ticket);
  ticket = 0;
  source = nullptr;
}

Block& ReadAhead::next() {
  Slot& slot = slots[1 - current];
  if (ticket != 0) {
    worker->wait(ticket);
    ticket = 0;
  } else {
    load(slot);
  }
  current = 1 - current;
  if (!slot.block.last) start_loading(slots[1 - current]);
  return slot.block;
}

const std::uint64_t* ReadAhead::bitmap_of(const char* base) const {
  for (const Slot& s : slots)
    if (!s.bits.empty() && s.block.bytes.data() == base) return s.bits.data();
  return nullptr;
}

void BackgroundWrites::write(int fd, OutputBytes& full, std::size_t n) {
  const char* p = full.data();
  const Worker::Ticket ticket = worker.post([this, fd, p, n] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (failed) return;
    }
    std::string why;
    if (host::write_all(fd, p, n, why)) return;
    std::lock_guard<std::mutex> lock(mutex);
    failed = true;
    error = why.empty() ? "write error" : why;
  });
  last_ticket = ticket;
  if (spare_ticket != 0) worker.wait(spare_ticket);
  if (spare.size() != full.size()) spare = OutputBytes(full.size());
  full.swap(spare);
  spare_ticket = ticket;
}

void BackgroundWrites::wait() {
  if (last_ticket != 0) worker.wait(last_ticket);
}

std::string BackgroundWrites::failure() {
  std::lock_guard<std::mutex> lock(mutex);
  return error;
}

}  // namespace fast
