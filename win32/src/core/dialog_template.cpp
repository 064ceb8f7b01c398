// Dialog template parsing. The layout, all little-endian:
//
//   DLGTEMPLATE      style, exStyle (DWORDs), cdit (WORD), x, y, cx, cy (shorts)
//   DLGTEMPLATEEX    dlgVer = 1, signature = 0xFFFF (WORDs), helpID, exStyle, style (DWORDs),
//                    cDlgItems (WORD), x, y, cx, cy (shorts)
//   then             menu, class, title: each 0x0000 (none), 0xFFFF + ordinal, or a string
//   DS_SETFONT       pointsize (WORD); EX: weight (WORD), italic, charset (BYTEs); typeface
//   each item,       DLGITEMTEMPLATE: style, exStyle (DWORDs), x, y, cx, cy (shorts), id (WORD)
//   DWORD-aligned    DLGITEMTEMPLATEEX: helpID, exStyle, style (DWORDs), x, y, cx, cy, id (DWORD)
//                    then class, title (as above), then a WORD n and n bytes of creation data
//
// Alignment is reckoned from the start of the template, which a resource always begins on a
// DWORD boundary.
#include "dialog_template.h"

namespace {

struct TemplateReader {
    const uint8_t* bytes;
    size_t size;
    size_t offset = 0;
    bool failed = false;

    bool Has(size_t count) const { return !failed && count <= size - offset; }
};

uint16_t ReadWord(TemplateReader& reader) {
    if (!reader.Has(2)) {
        reader.failed = true;
        return 0;
    }
    const uint8_t* p = reader.bytes + reader.offset;
    reader.offset += 2;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadDword(TemplateReader& reader) {
    uint32_t low = ReadWord(reader);
    uint32_t high = ReadWord(reader);
    return low | (high << 16);
}

int16_t ReadShort(TemplateReader& reader) {
    return static_cast<int16_t>(ReadWord(reader));
}

uint8_t ReadByte(TemplateReader& reader) {
    if (!reader.Has(1)) {
        reader.failed = true;
        return 0;
    }
    return reader.bytes[reader.offset++];
}

// A NUL-terminated UTF-16 string; the terminator must lie inside the buffer.
std::u16string ReadString(TemplateReader& reader) {
    std::u16string text;
    for (;;) {
        uint16_t unit = ReadWord(reader);
        if (reader.failed || unit == 0) return text;
        text.push_back(static_cast<char16_t>(unit));
    }
}

// The string that follows a first unit already read and found to be neither 0 nor 0xFFFF.
std::u16string ReadStringFrom(TemplateReader& reader, uint16_t first) {
    std::u16string text(1, static_cast<char16_t>(first));
    text += ReadString(reader);
    return text;
}

TemplateName ReadName(TemplateReader& reader) {
    TemplateName name;
    uint16_t first = ReadWord(reader);
    if (reader.failed || first == 0x0000) return name;
    name.present = true;
    if (first == 0xFFFF) {
        name.is_ordinal = true;
        name.ordinal = ReadWord(reader);
    } else {
        name.text = ReadStringFrom(reader, first);
    }
    return name;
}

void AlignToDword(TemplateReader& reader) {
    size_t aligned = (reader.offset + 3) & ~static_cast<size_t>(3);
    if (aligned > reader.size) {
        reader.failed = true;
        return;
    }
    reader.offset = aligned;
}

bool ReadItem(TemplateReader& reader, bool extended, DialogItemTemplate* item) {
    if (extended) {
        item->help_id = ReadDword(reader);
        item->ex_style = ReadDword(reader);
        item->style = ReadDword(reader);
    } else {
        item->style = ReadDword(reader);
        item->ex_style = ReadDword(reader);
    }
    item->x = ReadShort(reader);
    item->y = ReadShort(reader);
    item->cx = ReadShort(reader);
    item->cy = ReadShort(reader);
    item->id = extended ? ReadDword(reader) : ReadWord(reader);
    item->window_class = ReadName(reader);
    item->title = ReadName(reader);
    uint16_t data_size = ReadWord(reader);
    if (reader.failed) return false;
    if (data_size > 0) {
        if (!reader.Has(data_size)) return false;
        const uint8_t* data = reader.bytes + reader.offset;
        item->creation_data.assign(data, data + data_size);
        reader.offset += data_size;
    }
    return true;
}

}  // namespace

bool ParseDialogTemplate(const uint8_t* bytes, size_t size, DialogTemplate* out) {
    if (bytes == nullptr || out == nullptr) return false;
    TemplateReader reader{bytes, size};
    DialogTemplate dialog;
    uint16_t count = 0;
    if (size >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFF) {
        dialog.extended = true;
        if (ReadWord(reader) != 1) return false;  // dlgVer
        ReadWord(reader);                         // signature
        dialog.help_id = ReadDword(reader);
        dialog.ex_style = ReadDword(reader);
        dialog.style = ReadDword(reader);
    } else {
        dialog.style = ReadDword(reader);
        dialog.ex_style = ReadDword(reader);
    }
    count = ReadWord(reader);
    dialog.x = ReadShort(reader);
    dialog.y = ReadShort(reader);
    dialog.cx = ReadShort(reader);
    dialog.cy = ReadShort(reader);
    dialog.menu = ReadName(reader);
    dialog.window_class = ReadName(reader);
    dialog.title = ReadName(reader);
    // DS_SETFONT (0x40); DS_SHELLFONT includes it.
    if ((dialog.style & 0x40) != 0) {
        dialog.has_font = true;
        dialog.point_size = ReadWord(reader);
        if (dialog.extended) {
            dialog.weight = ReadWord(reader);
            dialog.italic = ReadByte(reader);
            dialog.charset = ReadByte(reader);
        }
        dialog.typeface = ReadString(reader);
    }
    if (reader.failed) return false;

    // Every item takes at least 18 bytes (24 in the extended form), so a count that the
    // buffer cannot hold fails on reading before much is reserved.
    for (uint16_t i = 0; i < count; ++i) {
        AlignToDword(reader);
        DialogItemTemplate item;
        if (reader.failed || !ReadItem(reader, dialog.extended, &item)) return false;
        dialog.items.push_back(std::move(item));
    }
    *out = std::move(dialog);
    return true;
}

const char16_t* PredefinedControlClass(uint16_t ordinal) {
    switch (ordinal) {
        case 0x0080:
            return u"BUTTON";
        case 0x0081:
            return u"EDIT";
        case 0x0082:
            return u"STATIC";
        case 0x0083:
            return u"LISTBOX";
        case 0x0084:
            return u"SCROLLBAR";
        case 0x0085:
            return u"COMBOBOX";
        default:
            return nullptr;
    }
}
