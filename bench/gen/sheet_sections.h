// The sections of a contour sheet around its entities, laid out as GDAL's DXF writer lays them
// (AutoCAD 2004 format: handles, owners and subclass markers everywhere).
#pragma once

#include "gen/drawing.h"
#include "gen/sink.h"

// HEADER (with the extents and the handle seed), CLASSES, TABLES, BLOCKS and the start of
// ENTITIES.
void write_sheet_header(Sink& out, const Summary& summary);

// The end of ENTITIES, OBJECTS and EOF.
void write_sheet_trailer(Sink& out);
