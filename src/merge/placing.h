// Block references placed (--inserts): what the survey holds of the block
// definitions, and the polylines an INSERT of model space places, counted
// and boxed by the survey and written by the writing pass.
#pragma once

#include "merge/entity_turn.h"
#include "merge/frame.h"

// Holds, in the survey, what a turn read in the BLOCKS section in the
// input's store: a definition opened or ended, its polylines, its references.
void hold_in_block(MergeFrame& m, TurnPlan& p);

// An INSERT of the ENTITIES section: the survey keeps it for when every
// block is read; the writing pass places it, or leaves it out and says why.
template <Pass pass>
void act_on_reference(MergeFrame& m, TurnPlan& p);

// Ends the survey of an input: the polylines its references place counted
// and taken into its box; a block that inserts itself said, once.
void survey_references(MergeFrame& m);

// Lets the input's blocks go once its writing pass is done.
void release_blocks(MergeFrame& m);
