#include "glance_layout.h"

namespace {
constexpr LONG kGap = 10;  // between neighbouring boxes, and below the message control
constexpr LONG kGroupWidth = 120;
constexpr LONG kGroupHeight = 235;        // a function group box and the Example box alike
constexpr LONG kSecondRowShift = 60;      // of the shorter second row (exact centring would be 65)
constexpr LONG kPictureInset = 22;        // function pictures from the box's left edge and caption
constexpr LONG kPictureWidth = 75;        // the size of the function bitmaps
constexpr LONG kPictureHeight = 70;
constexpr LONG kBottomPictureTop = 121;   // below the box's top, whatever the font
constexpr LONG kExampleWidth = 387;
constexpr LONG kExampleAboveLastTop = 118;  // the Example box straddling two rows: 118 + 117 = 235
constexpr LONG kExampleBelowLastTop = 117;
constexpr LONG kExampleInset = 20;
constexpr LONG kExamplePictureHeight = 195;
constexpr LONG kButtonWidth = 100;
constexpr LONG kButtonHeight = 25;
constexpr LONG kHelpIconInset = 10;
constexpr LONG kHelpIconSize = 16;

RECT At(LONG left, LONG top, LONG width, LONG height) { return {left, top, left + width, top + height}; }

// "No, thank you." flush with `right`, "OK" `gap` px left of it, both with their top at `top`.
ButtonRects ButtonsRightAligned(LONG right, LONG top, LONG gap)
{
    ButtonRects buttons{};
    buttons.noThanks = At(right - kButtonWidth, top, kButtonWidth, kButtonHeight);
    buttons.ok = At(buttons.noThanks.left - gap - kButtonWidth, top, kButtonWidth, kButtonHeight);
    return buttons;
}
}  // namespace

bool ShowsFunctionGroups(BOOL sourcesFound, int functionCount)
{
    return sourcesFound != FALSE && functionCount != 0;
}

int FunctionGroupAnchorId(bool secondRow)
{
    return secondRow ? SlotControlIds[0].group : IDC_MESSAGE;
}

FunctionGroupRects ComputeFunctionGroup(const RECT& previous, const RECT& anchor, bool besidePrevious,
                                        bool secondRow, int functionCount, int captionHeight)
{
    LONG left = 0, top = 0;
    if (besidePrevious) {
        left = previous.right + kGap;
        top = previous.top;
    } else {
        left = anchor.left + (secondRow && functionCount != 6 ? kSecondRowShift : 0);
        top = anchor.bottom + kGap;
    }
    FunctionGroupRects rects{};
    rects.group = At(left, top, kGroupWidth, kGroupHeight);
    rects.top = At(left + kPictureInset, top + kPictureInset + captionHeight, kPictureWidth, kPictureHeight);
    rects.bottom = At(left + kPictureInset, top + kBottomPictureTop, kPictureWidth, kPictureHeight);
    return rects;
}

bool StartsSecondRow(int functionCount, int slot)
{
    return ((functionCount == 5 || functionCount == 6) && slot == 3) || (functionCount == 7 && slot == 4);
}

int ExampleReferenceSlot(int functionCount)
{
    switch (functionCount) {
    case 5: return 2;
    case 7: return 3;
    default: return kLastGroupReference;
    }
}

ExampleRects ComputeExample(const RECT& lastGroup, const RECT& reference, int functionCount)
{
    LONG top = lastGroup.top, bottom = lastGroup.bottom;
    if (functionCount >= 5) {
        top = lastGroup.top - kExampleAboveLastTop;
        bottom = lastGroup.top + kExampleBelowLastTop;
    }
    ExampleRects rects{};
    rects.box = {reference.right + kGap, top, reference.right + kGap + kExampleWidth, bottom};
    rects.picture = {rects.box.left + kExampleInset, top + kExampleInset, rects.box.right - kExampleInset,
                     bottom - kExampleInset};
    return rects;
}

ButtonRects ComputeButtons(const RECT& lastGroup, const RECT& example)
{
    return ButtonsRightAligned(example.right, lastGroup.bottom + kGap, kGap);
}

HelpLinkRects ComputeHelpLink(const RECT& fnLockGroup, int linkTextWidth)
{
    HelpLinkRects rects{};
    rects.icon = At(fnLockGroup.left + kHelpIconInset, fnLockGroup.bottom - kHelpIconInset - kHelpIconSize,
                    kHelpIconSize, kHelpIconSize);
    rects.link = {rects.icon.right, rects.icon.top, rects.icon.right + linkTextWidth, rects.icon.bottom};
    return rects;
}

ExampleRects ComputeExampleOnly(const RECT& message, SIZE messageText)
{
    // The measured rectangle, moved from (0, 0) to the message control's bottom-left corner.
    const RECT text = At(message.left, message.bottom, messageText.cx, messageText.cy);
    ExampleRects rects{};
    rects.box = At(text.left, text.bottom + kGap, messageText.cx, kGroupHeight);
    rects.picture = {rects.box.left + kExampleInset, rects.box.top + kExampleInset, rects.box.right - kExampleInset,
                     rects.box.top + kExampleInset + kExamplePictureHeight};
    return rects;
}

ButtonRects ComputeButtonsExampleOnly(const RECT& example)
{
    return ButtonsRightAligned(example.right, example.bottom + kGap, 2 * kGap);
}

WindowPlacement ComputeFittedWindow(const RECT& noThanks, const DialogMetrics& m)
{
    // Plain int division: it truncates toward zero, also for a negative sum.
    WindowPlacement window{};
    window.width = noThanks.right + 20 + 2 * m.frameX;
    window.height = noThanks.bottom + 20 + 2 * m.frameY + m.caption;
    window.x = m.screenX / 2 - (noThanks.right + 10) / 2 + m.frameX;
    window.y = m.screenY / 2 - (noThanks.top + 45) / 2 + m.frameY;
    return window;
}

RECT ComputeWidenedMessage(const RECT& message, const RECT& dialogWindow)
{
    return {message.left, message.top, message.left + (dialogWindow.right - dialogWindow.left) - kGap,
            message.bottom};
}

DialogArrangement ComputeArrangement(const ArrangementInputs& in)
{
    DialogArrangement out{};
    if (in.functionCount < 0 || in.functionCount > kPromptFunctionSlots) return out;
    out.functionGroups = ShowsFunctionGroups(in.sourcesFound, in.functionCount);
    if (out.functionGroups) {
        // LayoutFunctions: the anchors are the rectangles the earlier steps gave their controls.
        const int count = in.functionCount;
        auto anchorOf = [&](bool secondRow) {
            return FunctionGroupAnchorId(secondRow) == IDC_MESSAGE ? in.message : out.groups[0].group;
        };
        const RECT unused{};
        for (int slot = 0; slot < count; ++slot) {
            if (slot == 0)
                out.groups[0] = ComputeFunctionGroup(unused, anchorOf(false), false, false, count, in.captionHeight);
            if (StartsSecondRow(count, slot))
                out.groups[slot] = ComputeFunctionGroup(unused, anchorOf(true), false, true, count, in.captionHeight);
            const RECT placed = out.groups[slot].group;
            if (slot == count - 1) {
                const int referenceSlot = ExampleReferenceSlot(count);
                const RECT reference = referenceSlot == kLastGroupReference ? placed : out.groups[referenceSlot].group;
                out.example = ComputeExample(placed, reference, count);
                out.buttons = ComputeButtons(placed, out.example.box);
            } else {
                out.groups[slot + 1] = ComputeFunctionGroup(placed, unused, true, false, count, in.captionHeight);
            }
            if (slot == in.fnLockSlot) {
                out.help = ComputeHelpLink(out.groups[slot].group, in.linkTextWidth);
                out.helpLink = true;
            }
        }
    } else {
        out.example = ComputeExampleOnly(in.message, in.messageText);
        out.buttons = ComputeButtonsExampleOnly(out.example.box);
    }
    out.window = ComputeFittedWindow(out.buttons.noThanks, in.metrics);
    const RECT dialogWindow = At(out.window.x, out.window.y, out.window.width, out.window.height);
    out.message = ComputeWidenedMessage(in.message, dialogWindow);
    return out;
}
