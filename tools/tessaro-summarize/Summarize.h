#pragma once

// The tessaro-summarize program: reads the command line, summarises the
// video and writes the requested outputs. Returns the exit status.
int summarizeMain(int argc, char** argv);
