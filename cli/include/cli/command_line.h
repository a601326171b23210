#pragma once
// m_sifter-cli: the window's run from the command line, on the same engine,
// with a preview, names by capture time, skipping files the destination
// already holds, the history of runs and their undo. Needs no display.
namespace msifter::cli {

// The whole program; returns the exit status (run_command.h).
int runCommandLine(int argc, char** argv);

}  // namespace msifter::cli
