// The reading commands of xlsbench; each returns the exit code.
#pragma once

int RunRead(const char* file);
int RunDump(const char* file);
// Defined in xlsbench_copy.cpp.
int RunCopy(const char* in, const char* out);
