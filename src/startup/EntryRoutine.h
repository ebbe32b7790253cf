#pragma once

/// The program from its start to its end: the command line, the hand-over to a running
/// instance, the start-up and the main window's event loop. Returns the exit status.
int runEntryRoutine(int& argc, char** argv);
