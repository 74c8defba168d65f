// The prompt dialog's layout arithmetic without a window: the whole arrangement of every function
// count against the documented one, and each placement step's rules on their own.
#include <doctest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "glance_layout.h"

// RECT is the platform's plain struct: compared field by field and printed as (l, t, r, b).
static bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace doctest {
template <>
struct StringMaker<RECT> {
    static String convert(const RECT& r)
    {
        char text[64] = {};
        std::snprintf(text, sizeof text, "(%ld, %ld, %ld, %ld)", r.left, r.top, r.right, r.bottom);
        return String(text);
    }
};
}  // namespace doctest

namespace {
RECT At(LONG left, LONG top, LONG width, LONG height) { return {left, top, left + width, top + height}; }

constexpr DialogMetrics kMetrics = {3, 3, 22, 1920, 1080};
}  // namespace

TEST_SUITE("layout") {
TEST_CASE("slot k's group box, top and bottom picture")
{
    const SlotControls expected[kPromptFunctionSlots] = {
        {1000, 1002, 1003}, {1014, 1012, 1013}, {1001, 1004, 1005}, {1015, 1017, 1016},
        {1008, 1006, 1007}, {1009, 1011, 1010}, {1021, 1023, 1024},
    };
    for (int slot = 0; slot < kPromptFunctionSlots; ++slot) {
        CAPTURE(slot);
        CHECK(SlotControlIds[slot].group == expected[slot].group);
        CHECK(SlotControlIds[slot].top == expected[slot].top);
        CHECK(SlotControlIds[slot].bottom == expected[slot].bottom);
    }
}

TEST_CASE("function groups only when a source was found and a function is offered")
{
    struct Row {
        BOOL sourcesFound;
        int count;
        bool groups;
    };
    const Row rows[] = {
        {TRUE, 0, false}, {TRUE, 1, true}, {TRUE, 7, true}, {FALSE, 0, false}, {FALSE, 3, false}, {2, 1, true},
    };
    for (const Row& row : rows) {
        CAPTURE(row.sourcesFound);
        CAPTURE(row.count);
        CHECK(ShowsFunctionGroups(row.sourcesFound, row.count) == row.groups);
    }
}

// With X the message control's left edge and Y its bottom + 10, the box of column c in row r
// stands at (X + s + 130c, Y + 245r), s the second row's shift.
TEST_CASE("every function count's arrangement: groups, pictures, Example box, buttons, window, message")
{
    struct Row {
        int count;
        int firstRow;      // slots in the first row
        LONG shift;        // of the second row
        LONG exampleLeft;  // from X
        LONG exampleTop;   // from Y; the box is 235 tall
        LONG buttonsTop;   // from Y
    };
    const Row rows[] = {
        {1, 1, 0, 130, 0, 245},   {2, 2, 0, 260, 0, 245},    {3, 3, 0, 390, 0, 245},    {4, 4, 0, 520, 0, 245},
        {5, 3, 60, 390, 127, 490}, {6, 3, 0, 390, 127, 490}, {7, 4, 60, 520, 127, 490},
    };
    struct Input {
        RECT message;
        int captionHeight;
    };
    // Two message controls and fonts, so that nothing passes by a coincidence of one of them.
    const Input inputs[] = {{{12, 11, 82, 40}, 13}, {{7, 30, 300, 49}, 16}};
    for (const Row& row : rows) {
        for (const Input& input : inputs) {
            CAPTURE(row.count);
            CAPTURE(input.message);
            const LONG X = input.message.left, Y = input.message.bottom + 10;
            ArrangementInputs in;
            in.functionCount = row.count;
            in.message = input.message;
            in.captionHeight = input.captionHeight;
            in.messageText = {352, 13};  // not looked at beside function groups
            in.metrics = kMetrics;
            const DialogArrangement out = ComputeArrangement(in);
            REQUIRE(out.functionGroups);

            for (int slot = 0; slot < kPromptFunctionSlots; ++slot) {
                CAPTURE(slot);
                const FunctionGroupRects& g = out.groups[slot];
                if (slot >= row.count) {
                    CHECK(g.group == RECT{});
                    continue;
                }
                const int r = slot < row.firstRow ? 0 : 1;
                const int c = r == 0 ? slot : slot - row.firstRow;
                const LONG left = X + (r == 1 ? row.shift : 0) + 130 * c, top = Y + 245 * r;
                CHECK(g.group == At(left, top, 120, 235));
                CHECK(g.top == At(left + 22, top + 22 + input.captionHeight, 75, 70));
                CHECK(g.bottom == At(left + 22, top + 121, 75, 70));
            }

            const RECT box = At(X + row.exampleLeft, Y + row.exampleTop, 387, 235);
            CHECK(out.example.box == box);
            CHECK(out.example.picture == At(box.left + 20, box.top + 20, 347, 195));

            CHECK(out.buttons.noThanks == At(box.right - 100, Y + row.buttonsTop, 100, 25));
            CHECK(out.buttons.ok == At(box.right - 210, Y + row.buttonsTop, 100, 25));
            CHECK_FALSE(out.helpLink);

            // 20 px beyond "No, thank you." plus the frames and the caption; placed from that button.
            CHECK(out.window.width == box.right + 20 + 2 * 3);
            CHECK(out.window.height == Y + row.buttonsTop + 25 + 20 + 2 * 3 + 22);
            const WindowPlacement fitted = ComputeFittedWindow(out.buttons.noThanks, kMetrics);
            CHECK(out.window.x == fitted.x);
            CHECK(out.window.y == fitted.y);

            CHECK(out.message == RECT{X, input.message.top, X + out.window.width - 10, input.message.bottom});
        }
    }
}

TEST_CASE("a count the model never holds arranges nothing")
{
    for (const int count : {-1, 8, 1000}) {
        CAPTURE(count);
        ArrangementInputs in;
        in.functionCount = count;
        in.message = {12, 11, 82, 40};
        in.captionHeight = 13;
        in.messageText = {352, 13};
        in.fnLockSlot = 0;
        in.metrics = kMetrics;
        const DialogArrangement out = ComputeArrangement(in);
        CHECK_FALSE(out.functionGroups);
        CHECK_FALSE(out.helpLink);
        for (const FunctionGroupRects& g : out.groups) CHECK(g.group == RECT{});
        CHECK(out.example.box == RECT{});
        CHECK(out.buttons.noThanks == RECT{});
        CHECK(out.window.width == 0);
        CHECK(out.message == RECT{});
    }
}

TEST_CASE("the help link stands in FnLock's group where that group ends up")
{
    struct Row {
        const char* name;
        int count;
        int fnLockSlot;
        bool shown;
        RECT group;  // FnLock's group box in the arrangement
    };
    // The message control (12, 11, 82, 40): X 12, Y 50.
    const Row rows[] = {
        {"FnLock first, as discovery puts it", 3, 0, true, At(12, 50, 120, 235)},
        {"FnLock in the middle of the first row", 4, 2, true, At(272, 50, 120, 235)},
        {"FnLock at the start of the shifted second row", 5, 3, true, At(72, 295, 120, 235)},
        {"FnLock last in the second row of seven", 7, 6, true, At(332, 295, 120, 235)},
        {"FnLock not offered", 7, kNoFnLockSlot, false, {}},
        {"FnLock's slot not laid out", 2, 4, false, {}},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        ArrangementInputs in;
        in.functionCount = row.count;
        in.message = {12, 11, 82, 40};
        in.captionHeight = 13;
        in.fnLockSlot = row.fnLockSlot;
        in.linkTextWidth = 61;
        in.metrics = kMetrics;
        const DialogArrangement out = ComputeArrangement(in);
        REQUIRE(out.helpLink == row.shown);
        if (!row.shown) continue;
        CHECK(out.groups[row.fnLockSlot].group == row.group);
        const LONG left = row.group.left, bottom = row.group.bottom;
        CHECK(out.help.icon == RECT{left + 10, bottom - 26, left + 26, bottom - 10});
        CHECK(out.help.link == RECT{left + 26, bottom - 26, left + 87, bottom - 10});  // 61 wide
    }
}

// The measured text is taken to stand at the message control's bottom-left corner: the box shares
// the control's left edge, its top is the text's height + 10 below the control, its width the text's.
TEST_CASE("the example-only arrangement follows the measured message text")
{
    struct Row {
        const char* name;
        BOOL sourcesFound;
        int count;
        RECT message;
        SIZE text;  // measured
        RECT box;
        RECT picture;
    };
    const Row rows[] = {
        {"no function, the default message on one line", TRUE, 0, {12, 11, 82, 40}, {352, 13}, {12, 63, 364, 298},
         {32, 83, 344, 278}},
        {"functions but no source found", FALSE, 3, {12, 11, 82, 40}, {352, 13}, {12, 63, 364, 298},
         {32, 83, 344, 278}},
        {"259 characters without a line break", TRUE, 0, {12, 11, 82, 40}, {1554, 13}, {12, 63, 1566, 298},
         {32, 83, 1546, 278}},
        {"several line breaks", FALSE, 7, {12, 11, 82, 40}, {300, 65}, {12, 115, 312, 350}, {32, 135, 292, 330}},
        {"a message control elsewhere", TRUE, 0, {40, 100, 90, 129}, {200, 26}, {40, 165, 240, 400},
         {60, 185, 220, 380}},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        ArrangementInputs in;
        in.sourcesFound = row.sourcesFound;
        in.functionCount = row.count;
        in.message = row.message;
        in.captionHeight = 13;
        in.messageText = row.text;
        in.fnLockSlot = 0;  // FnLock offered, yet no group to carry its link
        in.linkTextWidth = 61;
        in.metrics = kMetrics;
        const DialogArrangement out = ComputeArrangement(in);
        CHECK_FALSE(out.functionGroups);
        CHECK_FALSE(out.helpLink);
        for (const FunctionGroupRects& g : out.groups) CHECK(g.group == RECT{});

        CHECK(out.example.box == row.box);
        CHECK(out.example.picture == row.picture);

        // 20 px apart here, right-aligned with the box, 10 px below it.
        CHECK(out.buttons.noThanks == At(row.box.right - 100, row.box.bottom + 10, 100, 25));
        CHECK(out.buttons.ok == At(row.box.right - 220, row.box.bottom + 10, 100, 25));

        CHECK(out.window.width == row.box.right + 20 + 2 * 3);
        CHECK(out.window.height == row.box.bottom + 35 + 20 + 2 * 3 + 22);
        CHECK(out.message == RECT{row.message.left, row.message.top, row.message.left + out.window.width - 10,
                                  row.message.bottom});
    }
}

TEST_CASE("a group box beside its predecessor or below its anchor, with or without the second row's shift")
{
    const RECT previous = {300, 80, 420, 315};
    const RECT anchor = {12, 11, 82, 40};
    struct Row {
        const char* name;
        bool besidePrevious;
        bool secondRow;
        int count;
        LONG left, top;
    };
    const Row rows[] = {
        {"beside the previous box", true, false, 3, 430, 80},
        {"beside the previous box, the second-row flag not looked at", true, true, 5, 430, 80},
        {"below the message control", false, false, 1, 12, 50},
        {"below the message control, no shift in the first row", false, false, 7, 12, 50},
        {"second row of 5, shifted", false, true, 5, 72, 50},
        {"second row of 6, not shifted", false, true, 6, 12, 50},
        {"second row of 7, shifted", false, true, 7, 72, 50},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        const FunctionGroupRects g =
            ComputeFunctionGroup(previous, anchor, row.besidePrevious, row.secondRow, row.count, 13);
        CHECK(g.group == At(row.left, row.top, 120, 235));
        CHECK(g.top == At(row.left + 22, row.top + 35, 75, 70));
        CHECK(g.bottom == At(row.left + 22, row.top + 121, 75, 70));
    }
    CHECK(FunctionGroupAnchorId(false) == 1020);
    CHECK(FunctionGroupAnchorId(true) == 1000);
}

TEST_CASE("the top picture follows the caption's line height, the bottom picture does not")
{
    const RECT anchor = {12, 11, 82, 40};  // the box's top is 50
    struct Row {
        int captionHeight;
        LONG topFrom, topTo;  // below the box's top
    };
    const Row rows[] = {{13, 35, 105}, {16, 38, 108}, {20, 42, 112}};
    for (const Row& row : rows) {
        CAPTURE(row.captionHeight);
        const FunctionGroupRects g = ComputeFunctionGroup({}, anchor, false, false, 1, row.captionHeight);
        CHECK(g.top == RECT{34, 50 + row.topFrom, 109, 50 + row.topTo});
        CHECK(g.bottom == RECT{34, 50 + 121, 109, 50 + 191});
    }
}

TEST_CASE("the second row starts at slot 3 of five or six functions and at slot 4 of seven")
{
    for (int count = 0; count <= kPromptFunctionSlots; ++count) {
        for (int slot = 0; slot < kPromptFunctionSlots; ++slot) {
            CAPTURE(count);
            CAPTURE(slot);
            const bool expected = ((count == 5 || count == 6) && slot == 3) || (count == 7 && slot == 4);
            CHECK(StartsSecondRow(count, slot) == expected);
        }
    }
}

TEST_CASE("the Example box: its height from the last group, its left edge from the longer first row")
{
    // A last group that is not 235 tall shows which edges the box takes from it.
    const RECT lastGroup = {500, 400, 620, 600};
    const RECT reference = {100, 0, 220, 235};
    struct Row {
        int count;
        int referenceSlot;
        LONG top, bottom;
    };
    const Row rows[] = {
        {1, kLastGroupReference, 400, 600}, {2, kLastGroupReference, 400, 600}, {3, kLastGroupReference, 400, 600},
        {4, kLastGroupReference, 400, 600}, {5, 2, 282, 517},                   {6, kLastGroupReference, 282, 517},
        {7, 3, 282, 517},
    };
    for (const Row& row : rows) {
        CAPTURE(row.count);
        CHECK(ExampleReferenceSlot(row.count) == row.referenceSlot);
        const ExampleRects e = ComputeExample(lastGroup, reference, row.count);
        CHECK(e.box == RECT{230, row.top, 617, row.bottom});
        CHECK(e.picture == RECT{250, row.top + 20, 597, row.bottom - 20});
    }
}

TEST_CASE("the buttons: right-aligned with the Example box, 10 px apart below the groups, 20 px alone")
{
    const RECT lastGroup = {12, 295, 132, 530};
    const RECT example = {402, 177, 789, 412};
    const ButtonRects beside = ComputeButtons(lastGroup, example);
    CHECK(beside.noThanks == RECT{689, 540, 789, 565});
    CHECK(beside.ok == RECT{579, 540, 679, 565});
    const ButtonRects alone = ComputeButtonsExampleOnly(example);
    CHECK(alone.noThanks == RECT{689, 422, 789, 447});
    CHECK(alone.ok == RECT{569, 422, 669, 447});
}

TEST_CASE("the help icon 10 px in from FnLock's left and bottom edges, the link beside it as wide as its text")
{
    struct Row {
        RECT group;
        int textWidth;
        RECT icon, link;
    };
    const Row rows[] = {
        {{12, 50, 132, 285}, 61, {22, 259, 38, 275}, {38, 259, 99, 275}},
        {{-300, -120, -180, 115}, 75, {-290, 89, -274, 105}, {-274, 89, -199, 105}},
        {{12, 50, 132, 285}, 0, {22, 259, 38, 275}, {38, 259, 38, 275}},
    };
    for (const Row& row : rows) {
        CAPTURE(row.group);
        CAPTURE(row.textWidth);
        const HelpLinkRects h = ComputeHelpLink(row.group, row.textWidth);
        CHECK(h.icon == row.icon);
        CHECK(h.link == row.link);
    }
}

TEST_CASE("the fitted window from button 7's client rectangle and the system metrics")
{
    struct Row {
        const char* name;
        RECT noThanks;
        DialogMetrics metrics;
        WindowPlacement expected;
    };
    const Row rows[] = {
        {"the worked example", {500, 300, 600, 325}, {3, 3, 22, 1920, 1080}, {658, 371, 626, 373}},
        // (601 + 10) / 2 is 305: the odd half is dropped.
        {"an odd right edge", {500, 300, 601, 325}, {3, 3, 22, 1920, 1080}, {658, 371, 627, 373}},
        // (-21 + 10) / 2 is -5 and (-50 + 45) / 2 is -2: toward zero, where flooring would give -6 and -3.
        {"negative halves truncate toward zero", {-121, -50, -21, -25}, {3, 3, 22, 1920, 1080}, {968, 545, 5, 23}},
        {"an odd screen and other frames", {500, 300, 600, 325}, {4, 4, 19, 1365, 767}, {381, 215, 628, 372}},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        const WindowPlacement w = ComputeFittedWindow(row.noThanks, row.metrics);
        CHECK(w.x == row.expected.x);
        CHECK(w.y == row.expected.y);
        CHECK(w.width == row.expected.width);
        CHECK(w.height == row.expected.height);
    }
}

TEST_CASE("the message control becomes 10 px narrower than the dialog's outer width")
{
    struct Row {
        RECT message, dialog, widened;
    };
    const Row rows[] = {
        {{670, 382, 740, 411}, {658, 371, 1284, 744}, {670, 382, 1286, 411}},
        {{12, 11, 82, 40}, {-500, 0, -200, 100}, {12, 11, 302, 40}},
        {{12, 11, 400, 40}, {0, 0, 300, 100}, {12, 11, 302, 40}},  // a narrower dialog narrows it
    };
    for (const Row& row : rows) {
        CAPTURE(row.message);
        CAPTURE(row.dialog);
        CHECK(ComputeWidenedMessage(row.message, row.dialog) == row.widened);
    }
}
}
