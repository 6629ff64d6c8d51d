// The talker's machine code as the host carries it: S1 lines from $0000 without gaps,
// then one S9 line. Generated from talker.s by tools/make_talker_image; do not edit by hand.
#pragma once

extern const char *const TalkerImage[];
extern const unsigned dwTalkerImageLines;
