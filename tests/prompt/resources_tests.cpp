// The resources of the built GlanceUIApp.exe, read back from the file: dialog template 102,
// string 102, the manifest and the fifteen bitmaps.
#include <doctest.h>

#include <cstring>
#include <cwctype>
#include <iterator>
#include <string>
#include <vector>

#include "expected_template.h"
#include "prompt_function.h"
#include "prompt_test_support.h"
#include "unique_handle.h"

using namespace prompt_test;

namespace {
const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// GlanceUIApp.exe beside the test program, loaded for its resources only.
UniqueModule LoadProgram()
{
    const std::wstring path = testfiles::BinPath(L"GlanceUIApp.exe");
    UniqueModule program(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    REQUIRE_MESSAGE(program, "GlanceUIApp.exe is not beside the test program");
    return program;
}

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// A resource of language 1033, or an empty one.
Resource FindEnglishResource(HMODULE module, const wchar_t* type, const wchar_t* name)
{
    const HRSRC info = FindResourceExW(module, type, name, kEnglishUs);
    if (info == nullptr) return {};
    const HGLOBAL loaded = LoadResource(module, info);
    return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, info)};
}

// Reads the fields of a DLGTEMPLATEEX in order; every read is checked against the resource's end.
class TemplateReader {
public:
    explicit TemplateReader(Resource resource) : resource_(resource) {}

    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    BYTE Byte() { return Read<BYTE>(); }

    std::wstring String()
    {
        std::wstring text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<wchar_t>(c);
        return text;
    }

    // A name or an ordinal: "#<n>" for an ordinal, "" for none.
    std::wstring NameOrOrdinal()
    {
        const WORD first = Word();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring text(1, static_cast<wchar_t>(first));
        return text + String();
    }

    void AlignTo(std::size_t bytes) { offset_ = (offset_ + bytes - 1) / bytes * bytes; }
    void Skip(std::size_t bytes) { offset_ += bytes; }

private:
    template <typename T>
    T Read()
    {
        REQUIRE(offset_ + sizeof(T) <= resource_.size);
        T value;
        std::memcpy(&value, resource_.data + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }

    Resource resource_;
    std::size_t offset_ = 0;
};

// The predefined control classes appear in templates as ordinals.
std::wstring ClassName(const std::wstring& nameOrOrdinal)
{
    if (nameOrOrdinal == L"#128") return L"BUTTON";
    if (nameOrOrdinal == L"#130") return L"STATIC";
    std::wstring upper = nameOrOrdinal;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    return upper;
}

struct Rgb {
    int r, g, b;
};

// Pixel access to a BI_RGB DIB resource of 16 (5-5-5) or 32 bits per pixel; y counts from the top.
class DibPixels {
public:
    explicit DibPixels(Resource resource)
    {
        REQUIRE(resource.size >= sizeof(BITMAPINFOHEADER));
        std::memcpy(&header, resource.data, sizeof header);
        stride = (header.biWidth * header.biBitCount / 8 + 3) & ~3;
        bits = resource.data + header.biSize;
        size = resource.size;
    }

    Rgb At(int x, int y) const
    {
        const BYTE* row = bits + static_cast<std::size_t>(header.biHeight - 1 - y) * stride;  // bottom-up rows
        if (header.biBitCount == 16) {
            WORD v;
            std::memcpy(&v, row + x * 2, sizeof v);
            return {((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31};
        }
        return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};
    }

    // The share of pixels in [x0, x1) x [y0, y1) for which `test` holds.
    template <typename Test>
    double Share(int x0, int y0, int x1, int y1, Test test) const
    {
        int hits = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) hits += test(At(x, y)) ? 1 : 0;
        return static_cast<double>(hits) / ((x1 - x0) * (y1 - y0));
    }

    BITMAPINFOHEADER header{};
    int stride = 0;
    const BYTE* bits = nullptr;
    DWORD size = 0;
};

bool IsLight(Rgb p) { return p.r >= 192 && p.g >= 192 && p.b >= 192; }
bool IsDark(Rgb p) { return p.r <= 64 && p.g <= 64 && p.b <= 64; }
bool IsBlue(Rgb p) { return p.b >= 128 && p.b > p.r + 60 && p.b > p.g + 30; }

// The light share inside a function picture's square, away from its rounded corners.
double DrawingShare(const DibPixels& picture)
{
    return picture.Share(12, 12, picture.header.biWidth - 12, picture.header.biHeight - 12, IsLight);
}

struct BitmapRow {
    UINT id;
    int width, height, bitCount;
};

constexpr BitmapRow kBitmaps[] = {
    {130, 75, 70, 16}, {131, 75, 70, 16}, {132, 347, 195, 32}, {133, 75, 70, 16}, {134, 75, 70, 16},
    {135, 75, 70, 16}, {136, 75, 70, 16}, {141, 75, 70, 16},   {142, 75, 70, 16}, {145, 75, 70, 16},
    {146, 75, 70, 16}, {147, 75, 70, 16}, {148, 75, 70, 16},   {149, 75, 70, 16}, {150, 75, 70, 16},
};
}  // namespace

TEST_SUITE("resources") {
TEST_CASE("dialog template 102 is the prompt's: header and 28 controls in tab order")
{
    const UniqueModule program = LoadProgram();
    const Resource resource = FindEnglishResource(program.Get(), RT_DIALOG, MAKEINTRESOURCEW(102));
    REQUIRE_MESSAGE(resource.data != nullptr, "no dialog 102 in language 1033");
    TemplateReader reader(resource);

    CHECK(reader.Word() == 1);       // dlgVer
    CHECK(reader.Word() == 0xFFFF);  // signature of an extended template
    CHECK(reader.Dword() == 0);      // helpID
    CHECK(reader.Dword() == kExpectedDialogExStyle);
    const DWORD style = reader.Dword();
    CHECK(style == kExpectedDialogStyle);
    const WORD count = reader.Word();
    REQUIRE(count == std::size(kExpectedControls));
    CHECK(reader.Short() == 0);
    CHECK(reader.Short() == 0);
    CHECK(reader.Short() == 477);
    CHECK(reader.Short() == 268);
    CHECK(reader.NameOrOrdinal() == L"");  // no menu
    CHECK(reader.NameOrOrdinal() == L"");  // no class of its own
    CHECK(reader.String() == L"Glances");
    REQUIRE((style & DS_SETFONT) != 0);
    CHECK(reader.Word() == 8);  // point size
    CHECK(reader.Word() == 0);  // weight
    CHECK(reader.Byte() == 0);  // italic
    CHECK(reader.Byte() == 1);  // character set
    CHECK(reader.String() == L"MS Shell Dlg");

    for (const ExpectedControl& expected : kExpectedControls) {
        CAPTURE(expected.id);
        reader.AlignTo(4);
        CHECK(reader.Dword() == 0);  // helpID
        CHECK(reader.Dword() == expected.exStyle);
        CHECK(reader.Dword() == expected.style);
        CHECK(reader.Short() == expected.x);
        CHECK(reader.Short() == expected.y);
        CHECK(reader.Short() == expected.cx);
        CHECK(reader.Short() == expected.cy);
        CHECK(reader.Dword() == expected.id);
        CHECK(ClassName(reader.NameOrOrdinal()) == expected.windowClass);
        CHECK(reader.NameOrOrdinal() == expected.text);
        reader.Skip(reader.Word());  // creation data
    }
}

TEST_CASE("string 102 is the caption a later start searches for, and the manifest asks for what the prompt needs")
{
    const UniqueModule program = LoadProgram();
    // Strings 97 to 112 make up string block 7.
    CHECK(FindEnglishResource(program.Get(), RT_STRING, MAKEINTRESOURCEW(102 / 16 + 1)).data != nullptr);
    wchar_t caption[64] = {};
    CHECK(LoadStringW(program.Get(), 102, caption, 64) == 7);
    CHECK(std::wstring(caption) == L"Glances");

    const Resource manifest = FindEnglishResource(program.Get(), RT_MANIFEST, MAKEINTRESOURCEW(1));
    REQUIRE_MESSAGE(manifest.data != nullptr, "no manifest 1 in language 1033");
    const std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
    for (const char* required : {
             R"(name="Microsoft.Windows.Common-Controls")", R"(version="6.0.0.0")", R"(processorArchitecture="amd64")",
             R"(publicKeyToken="6595b64144ccf1df")", R"(language="*")", R"(level="asInvoker")", R"(uiAccess="true")",
             R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>)"}) {
        CAPTURE(required);
        CHECK(text.find(required) != std::string::npos);
    }
}

TEST_CASE("every bitmap loads from the program with the size and pixel format of its table row")
{
    const UniqueModule program = LoadProgram();
    for (const BitmapRow& row : kBitmaps) {
        CAPTURE(row.id);
        const Resource resource = FindEnglishResource(program.Get(), RT_BITMAP, MAKEINTRESOURCEW(row.id));
        REQUIRE_MESSAGE(resource.data != nullptr, "no bitmap in language 1033");
        const DibPixels dib(resource);
        CHECK(dib.header.biSize == sizeof(BITMAPINFOHEADER));
        CHECK(dib.header.biWidth == row.width);
        CHECK(dib.header.biHeight == row.height);  // positive: bottom-up rows
        CHECK(dib.header.biPlanes == 1);
        CHECK(dib.header.biBitCount == row.bitCount);
        CHECK(dib.header.biCompression == BI_RGB);  // for 16 bits: 5-5-5
        CHECK(dib.header.biClrUsed == 0);
        CHECK(dib.size >= dib.header.biSize + static_cast<DWORD>(dib.stride * row.height));

        // The way the dialog loads its pictures.
        const HANDLE image = LoadImageW(program.Get(), MAKEINTRESOURCEW(row.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        REQUIRE(image != nullptr);
        DIBSECTION section{};
        CHECK(GetObjectW(image, sizeof section, &section) == sizeof section);
        CHECK(section.dsBm.bmWidth == row.width);
        CHECK(section.dsBm.bmHeight == row.height);
        CHECK(section.dsBm.bmBitsPixel == row.bitCount);
        DeleteObject(image);
    }
}

TEST_CASE("function pictures are white drawings on black rounded squares, the bottom one struck through")
{
    const UniqueModule program = LoadProgram();
    const auto picture = [&](UINT id) {
        return DibPixels(FindEnglishResource(program.Get(), RT_BITMAP, MAKEINTRESOURCEW(id)));
    };
    for (int value = 0; value < kPromptFunctionSlots; ++value) {
        const PromptFunctionInfo& info = PromptFunctionInfoOf(static_cast<PromptFunction>(value));
        CAPTURE(value);
        const DibPixels top = picture(info.topBitmap);
        const DibPixels bottom = picture(info.bottomBitmap);
        REQUIRE(top.header.biBitCount == 16);
        REQUIRE(bottom.header.biBitCount == 16);
        for (const DibPixels* dib : {&top, &bottom}) {
            const int w = dib->header.biWidth, h = dib->header.biHeight;
            // Rounded corners: outside the square the window colour shows, at the edges' middle the square.
            CHECK(IsLight(dib->At(0, 0)));
            CHECK(IsLight(dib->At(w - 1, h - 1)));
            CHECK(IsDark(dib->At(w / 2, 1)));
            CHECK(IsDark(dib->At(w / 2, h - 2)));
            // A drawing: neither a blank square nor a filled one.
            const double share = DrawingShare(*dib);
            CAPTURE(share);
            CHECK(share > 0.02);
            CHECK(share < 0.60);
        }
        // The stroke through the symbol adds light pixels: the off-state picture is the bottom one.
        CHECK(DrawingShare(bottom) > DrawingShare(top) + 0.01);
    }
}

TEST_CASE("the example shows a blue desktop, a dark taskbar and the indicator just above it")
{
    const UniqueModule program = LoadProgram();
    const DibPixels example(FindEnglishResource(program.Get(), RT_BITMAP, MAKEINTRESOURCEW(132)));
    const int w = example.header.biWidth, h = example.header.biHeight;
    REQUIRE(w == 347);
    REQUIRE(h == 195);
    CHECK(example.Share(0, 0, w, 90, IsBlue) > 0.95);
    CHECK(example.Share(0, h - 20, w, h, IsDark) > 0.90);
    // Centred above the taskbar: a black square with a light drawing, blue on either side of it.
    const double dark = example.Share(w / 2 - 30, h - 95, w / 2 + 30, h - 35, IsDark);
    const double light = example.Share(w / 2 - 30, h - 95, w / 2 + 30, h - 35, IsLight);
    CHECK(dark > 0.4);
    CHECK(light > 0.03);
    CHECK(IsBlue(example.At(w / 2 - 80, h - 60)));
    CHECK(IsBlue(example.At(w / 2 + 80, h - 60)));

    // The fourth byte of every pixel is 0: with any other alpha a common-controls 6 picture
    // control draws a copy of the bitmap that it never deletes.
    int nonzeroAlpha = 0;
    for (int y = 0; y < h; ++y) {
        const BYTE* row = example.bits + static_cast<std::size_t>(y) * example.stride;
        for (int x = 0; x < w; ++x) nonzeroAlpha += row[x * 4 + 3] != 0 ? 1 : 0;
    }
    CHECK(nonzeroAlpha == 0);
}
}
