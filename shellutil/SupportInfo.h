#pragma once
// The support information: a summary of the system the program runs on,
// and the mail that takes it to the product's support address through the
// user's own mail program (Simple MAPI).
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct SummaryLine {
    std::wstring label;  // a text key: "Product", "{applicationname} Folder"...
    std::wstring value;
    bool folder = false;  // followed by its writability check
    std::wstring writable;
};

// The facts, in the order support reads them. product is the product's
// display name with its short version.
std::vector<SummaryLine> CollectSupportFacts(const std::wstring& product);
// One line per fact, "label:\tvalue\r\n" ("Product" gets two tabs). label
// turns a label key into its text: translated for the dialog, the key's
// own words for the mail.
std::wstring FormatSupportSummary(const std::vector<SummaryLine>& lines,
                                  const std::function<std::wstring(const std::wstring&)>& label);
// The Windows family and edition as the version functions report them;
// never empty.
std::wstring OperatingSystemText();

constexpr size_t kMailAddressSize = 256;
constexpr size_t kMailSubjectSize = 256;
constexpr size_t kMailBodySize = 4096;
constexpr size_t kMailPathSize = 260;

// The mail in the ANSI code page, each part cut to its buffer (terminating
// NUL included).
struct SupportMail {
    std::string recipient;  // the address
    std::string address;    // "SMTP:" + the address
    std::string subject;
    std::string body;
    std::string attachment;  // empty: none
};

// The body is the prompt for the user, the separator and the summary; every
// part is cut to its buffer, so a long summary never loses the prompt.
SupportMail BuildSupportMail(const std::wstring& supportAddress, const std::wstring& subject,
                             const std::wstring& prompt, const std::wstring& summary,
                             const std::wstring& settingsFile);
// The settings file to attach: the per-user one, else the program's, else
// none.
std::wstring SupportAttachment();
// The attachment's path as Simple MAPI takes it: in the ANSI code page and
// shorter than kMailPathSize, else its short (8.3) form; empty when neither
// names the file faithfully.
std::string AttachmentPath(const std::wstring& path);

enum class MailOutcome { Sent, Cancelled, Failed, NoLibrary };
struct MailResult {
    MailOutcome outcome;
    ULONG code;  // what MAPISendMail returned
};
// Hands the mail to "MAPI32.DLL" (log-on UI, new session, dialog). Without
// the library a box titled "Error" says so.
MailResult SendMapiMessage(HWND parent, const SupportMail& mail);

// The box shown when the mail program refuses the mail (the user's own
// cancel is no failure). Made on the dialog's thread, so that the mail
// thread needs nothing but these texts; "{1}" of text becomes the error
// number.
struct MailFailureNotice {
    std::wstring caption;
    std::wstring text;
};

// Sent to the dialog when the mail thread ends; wParam is 1 when sent.
constexpr UINT kSupportMailDone = WM_USER + 100;
// Disables the dialog and sends the mail on a thread of its own, which says
// so in a box when the mail program fails, then posts kSupportMailDone to
// the dialog.
void SendSupportMail(HWND dialog, SupportMail mail, MailFailureNotice notice);
