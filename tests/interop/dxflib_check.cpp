// Reads a merged result with dxflib and compares it with an expectation file.
//
//   dxflib_check RESULT.dxf EXPECTED.txt
//
// The expectation file (written by dxfcases.py and corpus_check.py) holds lines
//   extmin X Y Z / extmax X Y Z          header extents, integers (optional:
//                                        without them only their presence is checked)
//   polyline LAYER FLAGS COUNT           one per polyline, in order
//   vertex LAYER FLAGS X Y Z             its COUNT vertices, integers
//   end
// A LAYER holds no whitespace: a byte written %HH (hexadecimal) stands for
// itself; a vertex's LAYER * is not compared.
// Integers may exceed 64 bits; each is compared as the double it reads as,
// which is exact because every expected integer comes from a double.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "dl_creationadapter.h"
#include "dl_dxf.h"

namespace {

struct Point {
  double x = 0, y = 0, z = 0;
};

struct VertexSeen {
  std::string layer;
  Point at;
};

struct PolylineSeen {
  std::string layer;
  int flags = 0;
  std::vector<VertexSeen> vertices;
  bool ended = false;
};

// Collects the header extents and the polylines dxflib reports.
class Collector : public DL_CreationAdapter {
 public:
  std::vector<PolylineSeen> polylines;
  bool have_min = false, have_max = false;
  Point extmin, extmax;
  int stray_vertices = 0;
  int other_entities = 0;

  void addPolyline(const DL_PolylineData& d) override {
    polylines.push_back({attributes.getLayer(), d.flags, {}, false});
  }
  void addVertex(const DL_VertexData& d) override {
    if (polylines.empty() || polylines.back().ended) {
      ++stray_vertices;
      return;
    }
    polylines.back().vertices.push_back({attributes.getLayer(), {d.x, d.y, d.z}});
  }
  void endSequence() override {
    if (!polylines.empty()) polylines.back().ended = true;
  }
  void setVariableVector(const std::string& key, double v1, double v2, double v3, int) override {
    if (key == "$EXTMIN") {
      extmin = {v1, v2, v3};
      have_min = true;
    } else if (key == "$EXTMAX") {
      extmax = {v1, v2, v3};
      have_max = true;
    }
  }
  void addLine(const DL_LineData&) override { ++other_entities; }
  void addArc(const DL_ArcData&) override { ++other_entities; }
  void addCircle(const DL_CircleData&) override { ++other_entities; }
  void addPoint(const DL_PointData&) override { ++other_entities; }
  void addText(const DL_TextData&) override { ++other_entities; }
  void addInsert(const DL_InsertData&) override { ++other_entities; }
  void addBlock(const DL_BlockData&) override { ++other_entities; }
};

struct ExpectedVertex {
  std::string layer;
  int flags = 0;
  std::string x, y, z;
};

struct ExpectedPolyline {
  std::string layer;
  int flags = 0;
  std::vector<ExpectedVertex> vertices;
};

struct Expected {
  bool extents = false;  // extmin and extmax were given
  std::string extmin[3], extmax[3];
  std::vector<ExpectedPolyline> polylines;
};

// A layer word with its %HH escapes replaced by their bytes.
std::string layer_of(const std::string& word) {
  std::string layer;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (word[k] == '%' && k + 2 < word.size() && std::isxdigit(static_cast<unsigned char>(word[k + 1])) &&
        std::isxdigit(static_cast<unsigned char>(word[k + 2]))) {
      layer += static_cast<char>(std::stoi(word.substr(k + 1, 2), nullptr, 16));
      k += 2;
    } else {
      layer += word[k];
    }
  }
  return layer;
}

bool read_expected(const char* path, Expected& e) {
  std::ifstream in(path);
  std::string word;
  while (in >> word) {
    if (word == "extmin") {
      in >> e.extmin[0] >> e.extmin[1] >> e.extmin[2];
      e.extents = true;
    } else if (word == "extmax") {
      in >> e.extmax[0] >> e.extmax[1] >> e.extmax[2];
      e.extents = true;
    } else if (word == "polyline") {
      ExpectedPolyline p;
      std::size_t count = 0;
      in >> p.layer >> p.flags >> count;
      p.layer = layer_of(p.layer);
      for (std::size_t i = 0; i < count && in; ++i) {
        ExpectedVertex v;
        in >> word >> v.layer >> v.flags >> v.x >> v.y >> v.z;
        if (word != "vertex") return false;
        v.layer = layer_of(v.layer);
        p.vertices.push_back(v);
      }
      e.polylines.push_back(std::move(p));
    } else if (word == "end") {
      return true;
    } else {
      return false;
    }
    if (!in) return false;
  }
  return false;
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

class Report {
 public:
  int failures = 0;
  void fail(const std::string& what) {
    if (++failures <= 20) std::cout << "FAIL: " << what << "\n";
  }
  void same(const std::string& where, double got, const std::string& want) {
    if (got != number(want)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", got);
      fail(where + ": " + buf + ", expected " + want);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: dxflib_check RESULT.dxf EXPECTED.txt\n";
    return 2;
  }
  Expected want;
  if (!read_expected(argv[2], want)) {
    std::cerr << "dxflib_check: cannot read the expectation file " << argv[2] << "\n";
    return 2;
  }
  Collector got;
  DL_Dxf dxf;
  if (!dxf.in(argv[1], &got)) {
    std::cout << "FAIL: dxflib cannot open " << argv[1] << "\n";
    return 1;
  }

  Report r;
  std::size_t vertices = 0, want_vertices = 0;
  for (const auto& p : got.polylines) vertices += p.vertices.size();
  for (const auto& p : want.polylines) want_vertices += p.vertices.size();
  std::cout << "dxflib read " << got.polylines.size() << " polylines, " << vertices << " vertices (expected "
            << want.polylines.size() << ", " << want_vertices << "), " << got.other_entities << " other entities, "
            << got.stray_vertices << " vertices outside a polyline\n";

  if (!got.have_min || !got.have_max) r.fail("the header lacks $EXTMIN or $EXTMAX");
  const char* axis[3] = {"x", "y", "z"};
  const double min_got[3] = {got.extmin.x, got.extmin.y, got.extmin.z};
  const double max_got[3] = {got.extmax.x, got.extmax.y, got.extmax.z};
  for (int k = 0; k < 3 && want.extents; ++k) {
    r.same(std::string("$EXTMIN ") + axis[k], min_got[k], want.extmin[k]);
    r.same(std::string("$EXTMAX ") + axis[k], max_got[k], want.extmax[k]);
  }
  if (got.other_entities != 0) r.fail("the result holds entities other than polylines, or blocks");
  if (got.stray_vertices != 0) r.fail("the result holds vertices outside a polyline");
  if (got.polylines.size() != want.polylines.size()) r.fail("polyline count differs");

  for (std::size_t i = 0; i < got.polylines.size() && i < want.polylines.size(); ++i) {
    const PolylineSeen& g = got.polylines[i];
    const ExpectedPolyline& w = want.polylines[i];
    const std::string where = "polyline " + std::to_string(i + 1);
    if (g.layer != w.layer) r.fail(where + ": layer " + g.layer + ", expected " + w.layer);
    if (g.flags != w.flags)
      r.fail(where + ": flags " + std::to_string(g.flags) + ", expected " + std::to_string(w.flags));
    if (!g.ended) r.fail(where + ": no SEQEND");
    if (g.vertices.size() != w.vertices.size()) {
      r.fail(where + ": " + std::to_string(g.vertices.size()) + " vertices, expected " +
             std::to_string(w.vertices.size()));
      continue;
    }
    for (std::size_t j = 0; j < g.vertices.size(); ++j) {
      const std::string at = where + " vertex " + std::to_string(j + 1);
      const VertexSeen& gv = g.vertices[j];
      const ExpectedVertex& wv = w.vertices[j];
      if (wv.layer != "*" && gv.layer != wv.layer) r.fail(at + ": layer " + gv.layer + ", expected " + wv.layer);
      r.same(at + " x", gv.at.x, wv.x);
      r.same(at + " y", gv.at.y, wv.y);
      r.same(at + " z", gv.at.z, wv.z);
    }
  }
  if (r.failures != 0) {
    std::cout << r.failures << " differences\n";
    return 1;
  }
  std::cout << "dxflib: all polylines, vertices and extents match\n";
  return 0;
}
