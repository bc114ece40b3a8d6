// What a script may ask of the merge beyond copying polylines: each one off
// by default, and with every one off the result is what it always was.
#pragma once

struct DrawingOptions {
  bool inserts = false;          // --inserts: block references placed, their blocks' entities in world coordinates
  bool curves = false;           // --curves[=TOLERANCE]: arcs, circles, ellipses, splines and bulges as chords
  double tolerance = 0.5;        // how far a chord may stray from its curve, in drawing units
  bool lines = false;            // --lines: LINE entities as polylines, those whose ends meet joined
  bool scaled = false;           // --scale=F given
  double scale = 1.0;            // every coordinate multiplied by it before rounding
  bool layer_per_input = false;  // --layer-per-input: each drawing's polylines on a layer named after its file

  // Whether any option changes what is read or written.
  [[nodiscard]] bool any() const { return inserts || curves || lines || scaled || layer_per_input; }
};
