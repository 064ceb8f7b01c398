// libFuzzer target: the dialog template parser on bytes. It reads nothing outside the buffer,
// and what it copies out can never be more than the buffer held: every string and creation-data
// block came from distinct bytes of the input, and every item took at least its fixed header.
#include <cstdio>
#include <cstdlib>

#include "dialog_template.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "dialog template parser: %s\n", what);
    std::abort();
}

size_t NameBytes(const TemplateName& name) {
    if (!name.present) return 0;
    if (name.is_ordinal) {
        if (!name.text.empty()) Fail("an ordinal name with text");
        return 0;
    }
    return name.text.size() * 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DialogTemplate parsed;
    if (!ParseDialogTemplate(data, size, &parsed)) return 0;
    // DLGITEMTEMPLATE is 18 bytes before its names, DLGITEMTEMPLATEEX 24.
    const size_t item_header = parsed.extended ? 24 : 18;
    size_t copied = NameBytes(parsed.menu) + NameBytes(parsed.window_class) +
                    NameBytes(parsed.title) + parsed.typeface.size() * 2;
    if (parsed.items.size() > size / item_header) Fail("more items than the buffer can hold");
    for (const DialogItemTemplate& item : parsed.items) {
        copied += NameBytes(item.window_class) + NameBytes(item.title) + item.creation_data.size();
    }
    if (copied > size) Fail("copied out more bytes than the buffer held");
    return 0;
}
