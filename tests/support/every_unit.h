#pragma once
// The settings of every unit that exists, registered and applied as the program does it,
// for tests that sweep the whole tree. A new unit adds its routines to every_unit.cpp, in
// the program's order, and so joins every such test.

namespace norv::test {

// A fresh RootSpider with every unit's nodes, in the program's registration order.
void RegisterEveryUnit();
// Every unit's apply routine in the program's order, with ForceNotify on, as the shell
// pushes all settings to a newly connected instrument.
void ApplyEveryUnit();

}  // namespace norv::test
