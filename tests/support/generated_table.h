// tests/support/generated_table.h -- checks a checked-in generated table against what
// its generator in scripts/ prints now, so that a table edited by hand, or a generator
// changed without rerunning it, fails a test.
#pragma once
#include <string>

// Runs `/usr/bin/python3 scripts/GENERATOR --stdout` in the source tree and compares its
// output with the file at TABLE (relative to the source tree). Empty when they agree,
// else what went wrong.
std::string generatedTableDiffers(const std::string& generator, const std::string& table);
