#pragma once
// Sweeps over the setup dump: the path of a line, a command that moves a setting to another
// valid value, and the lines where two dumps differ.

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace norv::test {

// The path of a dump line ("TB:SCALEA" of "TB:SCALEA 10 n(s/div)").
std::string PathOf(const std::string& line);

// A command that changes the node: a number to its Max (its Min when there), a choice to
// its next option, a switch or every button of a set to its other state, a source to the
// next enabled one. Empty for kinds without such a change.
std::string MoveCommand(const std::string& path);

// Moves the node to a random other valid value as a user would: a number typed with three
// significant digits inside its live range, or to one end of it (MIN or MAX) and then one to
// eight steps of its knob back inside; a choice to another option, a switch to its other
// state, a set of buttons to another set, a source to another enabled one. `exec` runs a
// command line.
void MoveAtRandom(const std::string& path, std::mt19937& rng,
                  const std::function<void(const std::string&)>& exec);

// The lines where `actual` differs from `expected`, each pair on two lines; empty when none.
std::string Changes(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

}  // namespace norv::test
