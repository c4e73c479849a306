// The metadata block of XML data files, as any XML text (the whole document
// is parsed as the data-file readers parse it).

#include <pugixml.hpp>

#include "foundation/xml.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pugi::xml_document document;
    if (document.load_buffer(data, size)) {
        gf_readDataFileMeta(document, false);
        gf_readDataFileMeta(document, true);
        for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling())
            gf_readBoolAttribute(node, "value");
    }
    tavo::fuzz::settle();
    return 0;
}
