// Naming the parameter whose conversion failed.
#pragma once

namespace zorv::module {

// Adds "while processing '{parameter}'" to the pending exception's __notes__.
// If the note cannot be added, the exception stays pending unchanged.
void note_argument(const char* parameter);

}  // namespace zorv::module
