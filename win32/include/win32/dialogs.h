// Dialogs and their controls: modal dialogs from DLGTEMPLATE or DLGTEMPLATEEX resources, the
// control classes STATIC, EDIT, BUTTON and COMBOBOX, and message boxes.
//
// The layer shows nothing on a screen: a modal dialog runs on the actions of a person that the
// host or a test queued beforehand (win32/dialog_driver.h), until it ends or the actions run out.
// Dialog units become pixels with the base units of a font of the template's point size at
// 96 dots per inch (9 points: 6 x 12 pixels); without a font, 8 x 16 pixels.
#pragma once

#include "win32/base.h"
#include "win32/user.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Dialog styles.
#define DS_ABSALIGN 0x0001L
#define DS_SYSMODAL 0x0002L
#define DS_LOCALEDIT 0x0020L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_NOIDLEMSG 0x0100L
#define DS_SETFOREGROUND 0x0200L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_NOFAILCREATE 0x0010L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CENTERMOUSE 0x1000L
#define DS_CONTEXTHELP 0x2000L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// Extra bytes of a dialog window (GetWindowLongPtr): the message result, the dialog procedure
// and the application's own value.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC (DWLP_MSGRESULT + static_cast<int>(sizeof(LRESULT)))
#define DWLP_USER (DWLP_DLGPROC + static_cast<int>(sizeof(DLGPROC)))

// Command identifiers of the standard buttons, also the answers of MessageBox.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDC_STATIC (-1)

#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_INVALID_MSGBOX_STYLE 1438L

// Static styles.
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_NOPREFIX 0x00000080L

// Edit styles, messages and notifications.
#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_MULTILINE 0x0004L
#define ES_UPPERCASE 0x0008L
#define ES_LOWERCASE 0x0010L
#define ES_PASSWORD 0x0020L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_NOHIDESEL 0x0100L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L
#define ES_NUMBER 0x2000L

#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_REPLACESEL 0x00C2
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_GETLIMITTEXT 0x00D5

#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define EN_MAXTEXT 0x0501

// Button styles, messages and notifications.
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5

#define BN_CLICKED 0

#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001

// Combo box styles, messages, notifications and results.
#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_AUTOHSCROLL 0x0040L
#define CBS_SORT 0x0100L
#define CBS_HASSTRINGS 0x0200L

#define CB_GETEDITSEL 0x0140
#define CB_LIMITTEXT 0x0141
#define CB_SETEDITSEL 0x0142
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_FINDSTRING 0x014C
#define CB_SELECTSTRING 0x014D
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_FINDSTRINGEXACT 0x0158

#define CBN_ERRSPACE (-1)
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9
#define CBN_SELENDCANCEL 10

#define CB_OKAY 0
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)

// Keys that edit controls act on.
#define VK_BACK 0x08
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_DELETE 0x2E

// MessageBox: buttons, icons, default button and modality.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONMASK 0x000000F0L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFMASK 0x00000F00L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L

extern "C" {
// A modal dialog from the template resource `name` (type RT_DIALOG) of `instance`. Sends
// WM_INITDIALOG with `param` to `procedure`, then runs until EndDialog and returns its result.
// -1 when the template cannot be found or is damaged, when a window or control cannot be made,
// or when the queued actions run out with the dialog still open (Win32LayerDialogStayedOpen).
WIN32LAYER_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner,
                                              DLGPROC procedure, LPARAM param);
// Ends the modal dialog once the current message has been handled; `result` becomes the
// result of DialogBoxParamW. FALSE for a window that is not a dialog.
WIN32LAYER_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
// The dialog window's default procedure, which calls the dialog procedure.
WIN32LAYER_API LRESULT WINAPI DefDlgProcW(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The child of `dialog` with the control id, or null.
WIN32LAYER_API HWND WINAPI GetDlgItem(HWND dialog, int id);
WIN32LAYER_API int WINAPI GetDlgCtrlID(HWND control);
// Copies at most capacity - 1 characters of the control's text and a terminator; returns the
// characters copied. An empty buffer (text[0] = 0) when there is no such control.
WIN32LAYER_API UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int capacity);
// Sets the control's text; edit limits do not apply, as on Windows.
WIN32LAYER_API BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
WIN32LAYER_API LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam,
                                                  LPARAM lparam);
// The control's text as a decimal number: leading spaces skipped, a '-' when `is_signed`,
// then digits to the end of the text. 0 with *translated FALSE for anything else or a value
// out of range.
WIN32LAYER_API UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed);

// A message box owned by `owner`. A null caption shows the platform's default, "Error". The
// answer (IDOK, IDCANCEL, ...) comes from the queued actions; 0 when none is queued (the box
// stays open, and so does the dialog that showed it).
WIN32LAYER_API int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
}

#define DialogBoxParam DialogBoxParamW
#define DefDlgProc DefDlgProcW
#define GetDlgItemText GetDlgItemTextW
#define SetDlgItemText SetDlgItemTextW
#define SendDlgItemMessage SendDlgItemMessageW
#define MessageBox MessageBoxW
#define DialogBox(instance, name, owner, procedure) \
    DialogBoxParamW(instance, name, owner, procedure, 0)
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
