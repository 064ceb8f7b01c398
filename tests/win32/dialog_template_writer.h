// Writes dialog templates as a resource compiler does, for tests: DLGTEMPLATE or DLGTEMPLATEEX
// with DS_SETFONT, items DWORD-aligned, classes as predefined ordinals or names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestControl {
    uint32_t style;
    uint32_t id;
    uint16_t class_ordinal;  // 0x80 BUTTON ... 0x85 COMBOBOX; 0 to write class_name instead
    std::u16string text;
    int16_t x = 0, y = 0, cx = 40, cy = 12;
    std::u16string class_name = {};
    std::vector<uint8_t> creation_data = {};
};

struct TestDialog {
    bool extended = false;
    uint32_t style = 0x80C00040;  // WS_POPUP | WS_CAPTION | DS_SETFONT
    std::u16string title = u"Test";
    uint16_t point_size = 9;
    std::u16string font = u"Test Font";
    int16_t x = 0, y = 0, cx = 135, cy = 181;
    std::vector<TestControl> controls;
};

class TemplateBytes {
public:
    void Word(uint32_t value) {
        bytes_.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes_.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
    void Dword(uint32_t value) {
        Word(value & 0xFFFF);
        Word(value >> 16);
    }
    void String(const std::u16string& text) {
        for (char16_t c : text) Word(c);
        Word(0);
    }
    void Align() {
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> WriteDialogTemplate(const TestDialog& dialog) {
    TemplateBytes out;
    if (dialog.extended) {
        out.Word(1);
        out.Word(0xFFFF);
        out.Dword(0);  // help id
        out.Dword(0);  // extended style
        out.Dword(dialog.style);
    } else {
        out.Dword(dialog.style);
        out.Dword(0);
    }
    out.Word(static_cast<uint32_t>(dialog.controls.size()));
    for (int16_t v : {dialog.x, dialog.y, dialog.cx, dialog.cy}) out.Word(static_cast<uint16_t>(v));
    out.Word(0);  // no menu
    out.Word(0);  // the default dialog class
    out.String(dialog.title);
    if ((dialog.style & 0x40) != 0) {
        out.Word(dialog.point_size);
        if (dialog.extended) {
            out.Word(400);     // weight
            out.Word(0x8001);  // italic 1, character set 0x80
        }
        out.String(dialog.font);
    }
    for (const TestControl& control : dialog.controls) {
        out.Align();
        if (dialog.extended) {
            out.Dword(77);  // help id
            out.Dword(0);
            out.Dword(control.style);
        } else {
            out.Dword(control.style);
            out.Dword(0);
        }
        for (int16_t v : {control.x, control.y, control.cx, control.cy})
            out.Word(static_cast<uint16_t>(v));
        if (dialog.extended) {
            out.Dword(control.id);
        } else {
            out.Word(control.id);
        }
        if (control.class_ordinal != 0) {
            out.Word(0xFFFF);
            out.Word(control.class_ordinal);
        } else {
            out.String(control.class_name);
        }
        out.String(control.text);
        out.Word(static_cast<uint32_t>(control.creation_data.size()));
        for (uint8_t b : control.creation_data) out.bytes().push_back(b);
    }
    return out.bytes();
}
