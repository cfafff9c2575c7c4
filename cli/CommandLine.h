#pragma once
// The command line of k72-card: the commands, their arguments and options, their help texts, and the
// dispatch to the command that was asked for.

namespace k72::cli {

// Parses the arguments and runs the command. Returns the exit status: 0 success, 1 the command failed,
// 2 the command line does not say what to do (its message is printed).
int RunCommandLine(int argc, char** argv);

} // namespace k72::cli
