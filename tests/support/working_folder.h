#pragma once
// Every test executable runs in a fresh empty working folder below TestRoot(). A file that
// appears there was written under a name without its folder (a program folder left empty,
// say), so the run fails, naming the test after which it appeared and the file.

namespace norv::test {

// Called by the test mains after SetUpTestHome.
void GuardWorkingFolder();

}  // namespace norv::test
