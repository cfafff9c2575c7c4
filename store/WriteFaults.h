#pragma once
// Fault points for the tests of what a crash or a failing card leaves behind. Every step that changes
// a file on the card or next to it (a write, a flush, a rename, a delete) passes one point, counted
// from 1 in the life of the process. The variable K72_TEST_WRITE_FAULT, read once, arms one of them:
// "kill:N" makes the process kill itself with SIGKILL at point N, "eio:N" makes point N fail as a
// write error would. Unset (always, outside tests), every point passes.

namespace k72::writefault {

// Passes point `what` (a word for the diagnostic log): false when it is to fail as an I/O error, with
// errno set to EIO. Does not return when it is to kill the process.
bool Pass(const char* what);

// For tests in this process: arms point n (counted from the next point on) to fail with EIO, or to
// kill the process; 0 disarms.
void FailAt(int n);
void KillAt(int n);

} // namespace k72::writefault
