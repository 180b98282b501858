// Where the sound bank comes from when no --bank is given.
#pragma once

#include <istream>
#include <memory>

namespace velmo::render {

// A stream over the bank image linked into the program (the checker's own bank).
std::unique_ptr<std::istream> OpenBuiltInBank();

}  // namespace velmo::render
