// SPDX-License-Identifier: MIT
// Descriptors 0, 1 and 2 kept taken, so that no file a program opens lands
// on one of them and is read or written as a standard stream.
#pragma once

// Puts a descriptor that fails every read and write in the place of each
// closed standard stream, so that its use is still seen to fail. Call it
// first in main; false when one could not be put there.
bool keep_standard_streams_taken();
