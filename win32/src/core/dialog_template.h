// Dialog templates as a resource compiler writes them: DLGTEMPLATE with DLGITEMTEMPLATE items,
// or DLGTEMPLATEEX (version 1, signature 0xFFFF) with DLGITEMTEMPLATEEX items. The parser works
// on a byte buffer of known size and copies what it finds, so nothing refers back to the
// buffer afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A menu, class or title field: absent, an ordinal (0xFFFF, then the number) or a string.
struct TemplateName {
    bool present = false;
    bool is_ordinal = false;
    uint16_t ordinal = 0;
    std::u16string text;
};

struct DialogItemTemplate {
    uint32_t help_id = 0;  // DLGITEMTEMPLATEEX only
    uint32_t ex_style = 0;
    uint32_t style = 0;
    int16_t x = 0;
    int16_t y = 0;
    int16_t cx = 0;
    int16_t cy = 0;
    uint32_t id = 0;  // a WORD in DLGITEMTEMPLATE, a DWORD in DLGITEMTEMPLATEEX
    TemplateName window_class;
    TemplateName title;
    std::vector<uint8_t> creation_data;  // the bytes after the size word
};

struct DialogTemplate {
    bool extended = false;
    uint32_t help_id = 0;
    uint32_t ex_style = 0;
    uint32_t style = 0;
    int16_t x = 0;
    int16_t y = 0;
    int16_t cx = 0;
    int16_t cy = 0;
    TemplateName menu;
    TemplateName window_class;
    TemplateName title;
    bool has_font = false;  // DS_SETFONT: the font block follows the title
    uint16_t point_size = 0;
    uint16_t weight = 0;  // DLGTEMPLATEEX only
    uint8_t italic = 0;   // DLGTEMPLATEEX only
    uint8_t charset = 0;  // DLGTEMPLATEEX only
    std::u16string typeface;
    std::vector<DialogItemTemplate> items;
};

// Parses `size` bytes at `bytes`. False when the template is truncated (a field, string or item
// runs past the end), names an unknown template version, or holds a string without its
// terminator; no byte outside the buffer is read.
bool ParseDialogTemplate(const uint8_t* bytes, size_t size, DialogTemplate* out);

// The class name of a predefined control ordinal: 0x0080 BUTTON, 0x0081 EDIT, 0x0082 STATIC,
// 0x0083 LISTBOX, 0x0084 SCROLLBAR, 0x0085 COMBOBOX; null for any other.
const char16_t* PredefinedControlClass(uint16_t ordinal);
