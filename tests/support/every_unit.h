#pragma once
// The settings of every unit that exists, registered and applied by the program's
// dispatchers, for tests that sweep the whole tree. A unit of a higher subsystem fills its
// dispatcher slots in every_unit.cpp (as the shell does at start-up) and so joins every
// such test.

namespace norv::test {

// A fresh RootSpider with every unit's nodes, in the program's registration order.
void RegisterEveryUnit();
// Every unit's apply routine in the program's order, with ForceNotify on, as the shell
// pushes all settings to a newly connected instrument.
void ApplyEveryUnit();

}  // namespace norv::test
