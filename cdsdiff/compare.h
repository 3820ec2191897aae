// SPDX-License-Identifier: MIT
// What loading a document would change, read through the load's own code.
#pragma once

#include <cstdio>
#include <string>

// Compares the document read from in with the store; with exact, also lists
// what the store holds under the document's roots that the document lacks.
// Returns 0 for no difference, 1 for differences, 2 for trouble.
int compare_with_store(FILE* in, bool exact);

// Compares the document read from new_in with the one read from old_in, as
// two loads of them into an empty store would leave it.
int compare_documents(FILE* old_in, FILE* new_in, const std::string& old_name,
                      const std::string& new_name);
