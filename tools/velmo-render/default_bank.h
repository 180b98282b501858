// Where the sound bank comes from when no --bank is given.
#pragma once

#include <istream>
#include <memory>

namespace velmo::render {

// The bank built into velmo-render, or null while there is none.
std::unique_ptr<std::istream> OpenBuiltInBank();

}  // namespace velmo::render
