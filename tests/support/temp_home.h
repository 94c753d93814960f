#pragma once
// Every test process runs with a fresh program folder and fresh user folders, so no test
// reads or writes a real user's files.

#include <filesystem>

namespace norv::test {

// The process's temporary root (program folder, configuration and runtime folders below).
const std::filesystem::path& TestRoot();
// A fresh empty folder below TestRoot() for one test.
std::filesystem::path MakeTempDir(const char* hint = "t");

// Called once by the test mains; the tear-down frees the program's objects first (in the Qt
// tests, while the application still stands).
void SetUpTestHome();
void TearDownTestHome();

}  // namespace norv::test
