// Answers zqIsWinRTSupported as its exit code (1 true, 0 false), so that a test
// can run it under each Windows version that Wine reports per program.
#include "zqtoast.h"

int main() { return ZQ::Framework::zqIsWinRTSupported() ? 1 : 0; }
