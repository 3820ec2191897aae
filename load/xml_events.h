// SPDX-License-Identifier: MIT
#pragma once

#include "cds/cds.h"

#include <expat.h>
#include <string>
#include <vector>

// What the load has read so far of the document.
struct LoadState {
    bool root_seen = false;
    std::string root_path;
    std::vector<std::string> node_names;
    bool in_attr = false;
    std::string attr_name;
    std::string attr_type;
    pcd_tribool_t attr_persist = PCD_UNSPECIFIED;
    // Collected only while an accepted attr is open.
    std::string text;
    XML_Parser parser = nullptr;
    // One entry per open element: whether its start tag stepped over it, so
    // that its end tag leaves the state as it found it.
    std::vector<bool> skipped_open;
};

extern LoadState load_state;

// Empties the load state and the batch queue, and installs the handlers
// below on parser.
void start_load(XML_Parser parser);

// Drops the load state's hold on the parser, before the parser is freed.
void forget_parser();

void XMLCALL on_start_element(void* user_data, const XML_Char* element,
                              const XML_Char** attributes);
void XMLCALL on_end_element(void* user_data, const XML_Char* element);
void XMLCALL on_char_data(void* user_data, const XML_Char* characters, int length);
