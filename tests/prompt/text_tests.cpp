// The prompt's texts: the section chain over real UTF-16 .ini files under wine, the file beside
// the program, the file that ships with it, and the names derived from the program file.
#include <doctest.h>

#include <optional>
#include <string>

#include "glance_app.h"
#include "glance_dlg.h"
#include "prompt_test_support.h"
#include "prompt_text.h"

using namespace prompt_test;

namespace {
// Writes an .ini file `name` into `folder`; returns its path.
std::wstring WriteIni(const testfiles::ScratchDir& folder, const wchar_t* name, const std::wstring& text)
{
    const std::wstring file = folder.File(name);
    WriteUtf16File(file, text);
    return file;
}

// ReadLocalizedString into a 260-character buffer; nothing when it reports "not found", in
// which case the buffer must still hold its canary.
std::optional<std::wstring> Read(const std::wstring& path, LANGID language, const wchar_t* key)
{
    wchar_t value[kPromptTextChars];
    std::fill(std::begin(value), std::end(value), L'#');
    value[kPromptTextChars - 1] = L'\0';
    const std::wstring canary(value);
    if (!ReadLocalizedString(key, value, path.c_str(), language, kPromptTextChars)) {
        CHECK(std::wstring(value) == canary);
        return std::nullopt;
    }
    return std::wstring(value);
}

constexpr const wchar_t* kChainFile =
    L"[STRINGS.0411]\n"
    L"MESSAGE_TEXT=message 0411\n"
    L"[STRINGS.0011]\n"
    L"MESSAGE_TEXT=message 0011\n"
    L"HOVER_TEXT=hover 0011\n"
    L"[STRINGS.0C0A]\n"
    L"MESSAGE_TEXT=message 0C0A\n"
    L"[STRINGS.000A]\n"
    L"MESSAGE_TEXT=message 000A\n"
    L"HOVER_TEXT=hover 000A\n"
    L"[STRINGS.0212]\n"
    L"MESSAGE_TEXT=message 0212\n"
    L"[STRINGS.0012]\n"
    L"MESSAGE_TEXT=message 0012\n"
    L"[STRINGS]\n"
    L"MESSAGE_TEXT=message STRINGS\n"
    L"HOVER_TEXT=hover STRINGS\n";
}  // namespace

TEST_SUITE("text") {
TEST_CASE("section names carry the language as four upper-case hexadecimal digits")
{
    struct Row {
        LANGID language;
        const wchar_t* section;
    };
    const Row rows[] = {
        {0x0411, L"STRINGS.0411"}, {0x0C0A, L"STRINGS.0C0A"}, {0x0C0A & 0x3FF, L"STRINGS.000A"},
        {0x0000, L"STRINGS.0000"}, {0xFFFF, L"STRINGS.FFFF"},
    };
    for (const Row& row : rows) {
        wchar_t section[15];
        FormatLanguageSection(row.language, section);
        CHECK(std::wstring(section) == row.section);
    }
}

TEST_CASE("each key walks the language, the primary-language and the STRINGS section by itself")
{
    testfiles::ScratchDir folder;
    const std::wstring chain = WriteIni(folder, L"chain.ini", kChainFile);
    struct Row {
        LANGID language;
        const wchar_t* key;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {0x0411, kMessageTextKey, L"message 0411"},   {0x0411, kHoverTextKey, L"hover 0011"},
        {0x0811, kMessageTextKey, L"message 0011"},   {0x0C0A, kMessageTextKey, L"message 0C0A"},
        {0x0C0A, kHoverTextKey, L"hover 000A"},       {0x040A, kMessageTextKey, L"message 000A"},
        {0x0409, kMessageTextKey, L"message STRINGS"}, {0x0407, kHoverTextKey, L"hover STRINGS"},
        {0x0E12, kMessageTextKey, L"message 0212"},  // the primary language has ten bits
    };
    for (const Row& row : rows) {
        CAPTURE(row.language);
        CHECK(Read(chain, row.language, row.key) == std::wstring(row.expected));
    }

    // A file with only the fallback section serves every language.
    const std::wstring fallbackOnly = WriteIni(folder, L"fallback.ini", L"[STRINGS]\nMESSAGE_TEXT=for everyone\n");
    for (const LANGID language : {0x0409, 0x0411, 0x0C0A, 0x0000}) {
        CAPTURE(language);
        CHECK(Read(fallbackOnly, language, kMessageTextKey) == std::wstring(L"for everyone"));
        CHECK_FALSE(Read(fallbackOnly, language, kHoverTextKey));
    }
}

TEST_CASE("an empty value falls through to the next section; found nowhere leaves the destination alone")
{
    testfiles::ScratchDir folder;
    const std::wstring emptyFirst = WriteIni(folder, L"empty.ini",
                                                 L"[STRINGS.0409]\nMESSAGE_TEXT=\nHOVER_TEXT=\n"
                                                 L"[STRINGS.0009]\nMESSAGE_TEXT=\n"
                                                 L"[STRINGS]\nMESSAGE_TEXT=from STRINGS\nHOVER_TEXT=\n");
    CHECK(Read(emptyFirst, 0x0409, kMessageTextKey) == std::wstring(L"from STRINGS"));
    CHECK_FALSE(Read(emptyFirst, 0x0409, kHoverTextKey));  // empty in every section

    const std::wstring otherKeys = WriteIni(folder, L"other.ini", L"[STRINGS]\nTITLE=not read\n");
    CHECK_FALSE(Read(otherKeys, 0x0409, kMessageTextKey));
    CHECK_FALSE(Read(WriteIni(folder, L"blank.ini", L""), 0x0409, kMessageTextKey));
    CHECK_FALSE(Read(L"C:\\no\\such\\folder\\GlanceUIApp.ini", 0x0409, kMessageTextKey));
}

TEST_CASE("values are cut to 259 characters, and to a smaller destination")
{
    testfiles::ScratchDir folder;
    std::wstring longValue;
    for (int i = 0; i < 300; ++i) longValue += static_cast<wchar_t>(L'a' + i % 26);
    const std::wstring file = WriteIni(folder, L"long.ini", L"[STRINGS]\nMESSAGE_TEXT=" + longValue + L"\n");

    CHECK(Read(file, 0x0409, kMessageTextKey) == longValue.substr(0, 259));

    wchar_t small[10];
    REQUIRE(ReadLocalizedString(kMessageTextKey, small, file.c_str(), 0x0409, 10));
    CHECK(std::wstring(small) == longValue.substr(0, 9));
}

TEST_CASE("the text file and the single-instance mutex are named after the program file")
{
    SUBCASE("the text file: the program's extension replaced with .ini")
    {
        struct Row {
            std::wstring path;
            const wchar_t* expected;  // null: no text file (the built-in texts apply)
        };
        const std::wstring folder200(200, L'd');
        const Row rows[] = {
            {L"C:\\Program Files\\Norvane\\GlanceUIApp.exe", L"C:\\Program Files\\Norvane\\GlanceUIApp.ini"},
            {L"C:\\x\\Glance.UI.App.exe", L"C:\\x\\Glance.UI.App.ini"},
            {L"C:\\x\\prog.e", L"C:\\x\\prog.ini"},
            {L"C:\\x\\prog", nullptr},
            {L"C:\\dir.d\\prog", nullptr},  // the only dot belongs to a folder
            {L"prog", nullptr},
        };
        for (const Row& row : rows) {
            CAPTURE(std::string(row.path.begin(), row.path.end()));
            wchar_t path[MAX_PATH] = {};
            row.path.copy(path, MAX_PATH - 1);
            const BOOL replaced = ReplaceExtensionWithIni(path, MAX_PATH);
            CHECK(replaced == (row.expected != nullptr));
            CHECK(std::wstring(path) == (row.expected != nullptr ? row.expected : row.path));
        }

        // ".ini" plus its terminator must fit the 260-character buffer; a shorter extension
        // near the end of a long path would not.
        for (const int dotAt : {255, 256}) {
            CAPTURE(dotAt);
            wchar_t path[MAX_PATH] = {};
            std::wstring name = L"C:\\" + std::wstring(dotAt - 3, L'p') + L".x";
            name.copy(path, MAX_PATH - 1);
            CHECK(ReplaceExtensionWithIni(path, MAX_PATH) == (dotAt + 5 <= MAX_PATH));
            CHECK(std::wstring(path) == (dotAt + 5 <= MAX_PATH ? name.substr(0, dotAt) + L".ini" : name));
        }
    }

    SUBCASE("the mutex: the file name without folder and extension")
    {
        struct Row {
            const wchar_t* path;
            const wchar_t* expected;  // null: no name
        };
        const Row rows[] = {
            {L"C:\\Program Files\\Norvane\\GlanceUIApp.exe", L"GlanceUIApp"},
            {L"C:\\copy\\Renamed.exe", L"Renamed"},
            {L"C:\\x\\Glance.UI.App.exe", L"Glance.UI.App"},
            {L"C:\\dir.d\\prog", L"prog"},
            {L"GlanceUIApp.exe", L"GlanceUIApp"},
            {L"C:\\x\\.exe", nullptr},
        };
        for (const Row& row : rows) {
            CAPTURE(std::string(row.path, row.path + wcslen(row.path)));
            wchar_t name[MAX_PATH] = L"canary";
            CHECK(ProgramNameFromPath(row.path, name, MAX_PATH) == (row.expected != nullptr));
            if (row.expected != nullptr) CHECK(std::wstring(name) == row.expected);
        }
        wchar_t tooSmall[11];
        CHECK_FALSE(ProgramNameFromPath(L"C:\\x\\GlanceUIApp.exe", tooSmall, 11));
    }
}

TEST_CASE("the dialog takes its texts from the file beside the program, key by key, else the built-in ones")
{
    const TextFileBesideProgram beside;
    {
        CGlanceUIAppDlg withoutFile;
        CHECK(std::wstring(withoutFile.MessageText()) == kDefaultMessageText);
        CHECK(std::wstring(withoutFile.HoverText()) == kDefaultHoverText);
    }

    beside.Write(L"[STRINGS]\nMESSAGE_TEXT=Beside the program\n");
    wchar_t text[kPromptTextChars] = L"canary";
    CHECK(LoadPromptText(GetModuleHandleW(nullptr), 0x0409, kMessageTextKey, text, kPromptTextChars));
    CHECK(std::wstring(text) == L"Beside the program");
    CHECK_FALSE(LoadPromptText(nullptr, 0x0409, kMessageTextKey, text, kPromptTextChars));
    CHECK_FALSE(LoadPromptText(GetModuleHandleW(nullptr), 0x0409, kHoverTextKey, text, kPromptTextChars));
    CHECK(std::wstring(text) == L"Beside the program");

    CGlanceUIAppDlg withFile;
    CHECK(std::wstring(withFile.MessageText()) == L"Beside the program");
    CHECK(std::wstring(withFile.HoverText()) == kDefaultHoverText);
}

TEST_CASE("a text file that cannot be read as such gives the built-in texts; long values are cut to 259 characters")
{
    const std::wstring long259(259, L'W'), long300 = std::wstring(259, L'x') + std::wstring(41, L'y');
    struct Row {
        const char* name;
        std::wstring content;
        bool byteOrderMark;
        std::wstring message, hover;  // empty: the built-in text
    };
    const Row rows[] = {
        {"an empty file", L"", true, L"", L""},
        {"garbage: control characters, broken and unrelated sections, keys without a value",
         L"\x01\x02\x7F garbage\n[[[STRINGS]]\nMESSAGE_TEXT\n=HOVER_TEXT\n[STRINGSX]\nMESSAGE_TEXT=not mine\n"
         L"[STRINGS.XYZ]\nHOVER_TEXT=not mine either\n",
         true, L"", L""},
        {"UTF-16 without its byte-order mark", L"[STRINGS]\nMESSAGE_TEXT=unmarked\nHOVER_TEXT=unmarked\n", false, L"",
         L""},
        {"a message of exactly 259 characters", L"[STRINGS]\nMESSAGE_TEXT=" + long259 + L"\n", true, long259, L""},
        {"a message and tip of 300 characters", L"[STRINGS]\nMESSAGE_TEXT=" + long300 + L"\nHOVER_TEXT=" + long300 + L"\n",
         true, long300.substr(0, 259), long300.substr(0, 259)},
    };
    const TextFileBesideProgram beside;
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        beside.Write(row.content, row.byteOrderMark);
        CGlanceUIAppDlg dialog;
        CHECK(std::wstring(dialog.MessageText()) == (row.message.empty() ? kDefaultMessageText : row.message));
        CHECK(std::wstring(dialog.HoverText()) == (row.hover.empty() ? kDefaultHoverText : row.hover));
    }
}

TEST_CASE("GlanceUIApp.ini ships beside the program in UTF-16LE and reads in English and further languages")
{
    const std::wstring shipped = testfiles::BinPath(L"GlanceUIApp.ini");
    const HANDLE file = CreateFileW(shipped.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE_MESSAGE(file != INVALID_HANDLE_VALUE, "GlanceUIApp.ini is not beside the program");
    BYTE bom[2] = {};
    DWORD read = 0;
    ReadFile(file, bom, sizeof bom, &read, nullptr);
    CloseHandle(file);
    CHECK(read == 2);
    CHECK(bom[0] == 0xFF);
    CHECK(bom[1] == 0xFE);

    CHECK(Read(shipped, 0x0409, kMessageTextKey) == std::wstring(kDefaultMessageText));
    CHECK(Read(shipped, 0x0409, kHoverTextKey) == std::wstring(kDefaultHoverText));
    struct Row {
        LANGID language;
        const wchar_t* inMessage;
    };
    const Row rows[] = {
        {0x0407, L"Tastaturfunktionen"},
        {0x0C0A, L"teclado"},
        {0x040C, L"clavier"},
        {0x0411, L"\u30AD\u30FC\u30DC\u30FC\u30C9"},  // "keyboard": proves the UTF-16 file is read as such
    };
    for (const Row& row : rows) {
        CAPTURE(row.language);
        const auto message = Read(shipped, row.language, kMessageTextKey);
        REQUIRE(message);
        CHECK(message->find(row.inMessage) != std::wstring::npos);
        const auto hover = Read(shipped, row.language, kHoverTextKey);
        REQUIRE(hover);
        CHECK(*hover != kDefaultHoverText);
        CHECK(hover->find(L"Fn Lock") != std::wstring::npos);
    }
}
}
