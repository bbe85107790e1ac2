// Test mode (-t): a conversion's result is compared byte for byte with its
// input; process_file deletes it when they are equal.
#pragma once

// Compares two files byte for byte, counting the test (files_tested, and
// files_successfully_tested when equal). 0 when equal, -1 otherwise (the
// difference printed).
int test_file(const char *in, const char *out);
