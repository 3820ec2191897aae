// SPDX-License-Identifier: MIT
#include "load/xml_events.h"

#include "common/report.h"
#include "load/batch.h"

#include <cstring>
#include <unistd.h>

LoadState load_state;

namespace
{

// Points into the attributes the parser hands the start handler, which stay
// valid for that call only.
struct AttrTag {
    const XML_Char* name = "";
    const XML_Char* type = "";
    pcd_tribool_t persist = PCD_UNSPECIFIED;
};

bool is(const XML_Char* text, const char* expected)
{
    return std::strcmp(text, expected) == 0;
}

// Joined into a path, anything else would lead out of its node or invent
// one that the document does not show.
bool is_name(const XML_Char* name)
{
    return !std::strchr(name, '/') && !is(name, ".") && !is(name, "..");
}

pcd_tribool_t read_persist(const XML_Char* value)
{
    if (is(value, "false"))
        return PCD_FALSE;
    if (is(value, "true"))
        return PCD_TRUE;
    report_warning("non-boolean string for 'persist' attribute (must be 'true' or 'false'): '%s'",
                   value);
    return PCD_UNSPECIFIED;
}

AttrTag read_attr_tag(const XML_Char** attributes)
{
    AttrTag tag;
    for (int i = 0; attributes && attributes[i]; i += 2) {
        const XML_Char* key = attributes[i];
        const XML_Char* value = attributes[i + 1];
        if (is(key, "name"))
            tag.name = value;
        else if (is(key, "type"))
            tag.type = value;
        else if (is(key, "persist"))
            tag.persist = read_persist(value);
        else
            report_warning("unsupported attribute %s on <%s> tag", key, "attr");
    }
    return tag;
}

void stop_parsing()
{
    if (load_state.parser)
        XML_StopParser(load_state.parser, XML_FALSE);
}

// Assigned, so that a long load does not allocate these for each data point.
void open_attr(const AttrTag& tag)
{
    load_state.attr_name = tag.name;
    load_state.attr_type = tag.type;
    load_state.attr_persist = tag.persist;
    load_state.in_attr = true;
    load_state.text.clear();
    if (load_end.pause)
        usleep(1000);
}

// Each start handler returns true when it stepped over its element, so that
// the element's end tag changes nothing.
bool start_attr(const XML_Char** attributes)
{
    AttrTag tag = read_attr_tag(attributes);
    if (!load_state.root_seen) {
        report_error("attributes given before root node was specified - exiting");
        stop_parsing();
        // Skipped, since expat still ends an empty element after the stop.
        return true;
    }
    if (load_state.in_attr) {
        report_warning("attr tag nested within another attr tag - skipping");
        return true;
    }
    // Left unopened, so that its end tag is reported as unexpected.
    if (tag.name[0] == '\0') {
        report_warning("skipping unnamed node");
        return false;
    }
    if (!is_name(tag.name)) {
        report_warning("skipping '%s': not a name", tag.name);
        return false;
    }
    if (tag.type[0] == '\0') {
        report_warning("skipping node '%s' with no type specified", tag.name);
        return false;
    }
    open_attr(tag);
    return false;
}

void set_root(const XML_Char* path)
{
    if (load_state.root_seen)
        report_warning("more than one node specified as root");
    load_state.root_seen = true;
    if (path[0] == '\0')
        report_warning("empty name for root node - assuming /");
    load_state.root_path = is(path, "/") ? "" : path;
    if (load_end.root)
        load_end.root(load_state.root_path);
}

bool start_node(const XML_Char** attributes)
{
    bool is_root = false;
    const XML_Char* name = "";
    for (int i = 0; attributes && attributes[i]; i += 2) {
        const XML_Char* key = attributes[i];
        const XML_Char* value = attributes[i + 1];
        if (is(key, "root")) {
            set_root(value);
            is_root = true;
        } else if (is(key, "name")) {
            name = value;
        } else {
            report_warning("unsupported attribute %s on <%s> tag", key, "node");
        }
    }
    if (is_root)
        return false;
    if (name[0] == '\0') {
        report_warning("skipping unnamed node");
        return true;
    }
    if (!is_name(name)) {
        report_warning("skipping '%s': not a name", name);
        return true;
    }
    load_state.node_names.emplace_back(name);
    return false;
}

void end_attr()
{
    if (!load_state.in_attr) {
        report_warning("unexpected </%s> tag", "attr");
        return;
    }
    flush_leaves(false);
    load_state.in_attr = false;
    load_state.text.clear();
}

void end_node()
{
    if (!load_state.node_names.empty())
        load_state.node_names.pop_back();
    else if (load_state.root_seen)
        load_state.root_seen = false;
    else
        report_warning("unexpected </%s> tag", "node");
}

// The load reads no entity from outside the document: one the parser
// would fetch, or skip for want of its declaration, would silently turn the
// value it stands in into something else, usually an empty one.
int XMLCALL refuse_external_entity(XML_Parser, const XML_Char*, const XML_Char*, const XML_Char*,
                                   const XML_Char*)
{
    return XML_STATUS_ERROR;
}

// An external subset or a parameter entity reference may declare entities
// the load never reads, and the parser drops those silently from attribute
// values: such a document is refused before any of its content is read.
int XMLCALL refuse_not_standalone(void*)
{
    report_error("document type declaration with an external subset or parameter entity "
                 "reference - exiting");
    return XML_STATUS_ERROR;
}

void XMLCALL on_skipped_entity(void*, const XML_Char* name, int is_parameter_entity)
{
    if (is_parameter_entity)
        return;
    report_error("undeclared entity '%s' - exiting", name);
    stop_parsing();
}

} // namespace

void start_load(XML_Parser parser)
{
    load_state = LoadState();
    load_state.parser = parser;
    clear_batch_queue();
    if (!parser)
        return;
    XML_SetElementHandler(parser, on_start_element, on_end_element);
    XML_SetCharacterDataHandler(parser, on_char_data);
    XML_SetExternalEntityRefHandler(parser, refuse_external_entity);
    XML_SetNotStandaloneHandler(parser, refuse_not_standalone);
    XML_SetSkippedEntityHandler(parser, on_skipped_entity);
}

void forget_parser()
{
    load_state.parser = nullptr;
}

void XMLCALL on_start_element(void*, const XML_Char* element, const XML_Char** attributes)
{
    bool skipped = false;
    if (is(element, "attr"))
        skipped = start_attr(attributes);
    else if (is(element, "node"))
        skipped = start_node(attributes);
    else if (!is(element, "dump"))
        report_unprefixed_warning("Unrecognized tag '%s'", element);
    load_state.skipped_open.push_back(skipped);
}

void XMLCALL on_end_element(void*, const XML_Char* element)
{
    // The stack is empty here only when something other than expat calls
    // us with an end tag that had no start.
    bool skipped = !load_state.skipped_open.empty() && load_state.skipped_open.back();
    if (!load_state.skipped_open.empty())
        load_state.skipped_open.pop_back();
    if (skipped)
        return;
    if (is(element, "attr"))
        end_attr();
    else if (is(element, "node"))
        end_node();
}

void XMLCALL on_char_data(void*, const XML_Char* characters, int length)
{
    // Only an open data point uses its text; keeping the rest would let
    // memory grow with the document.
    if (load_state.in_attr && length > 0)
        load_state.text.append(characters, static_cast<std::size_t>(length));
}
