// The prompt dialog's layout arithmetic, apart from the windows it moves: each function computes
// the rectangles of one placement step from rectangles, measured text sizes, counts and system
// metrics, and the dialog's operations only fetch those inputs, call it and move the controls.
//
// All values are physical pixels; the constants do not scale with DPI or the dialog font. Inputs
// and outputs are in one coordinate space, the one the caller reads its anchors in (screen
// coordinates from GetWindowRect, say); the caller converts a result to client coordinates just
// before moving a control. ComputeFittedWindow alone needs client coordinates (button 7's), and
// ComputeArrangement, which ends with it, works in client coordinates throughout.
#pragma once

#include <windows.h>

#include "prompt_function.h"
#include "resources/resource.h"

// The controls of one slot: slot k shows entry k of the offered functions.
struct SlotControls {
    int group;   // group box, captioned with the function's label
    int top;     // picture of the on-state
    int bottom;  // picture of the off-state
};

inline constexpr SlotControls SlotControlIds[kPromptFunctionSlots] = {
    {IDC_SLOT0_GROUP, IDC_SLOT0_TOP, IDC_SLOT0_BOTTOM},  // 1000, 1002, 1003
    {IDC_SLOT1_GROUP, IDC_SLOT1_TOP, IDC_SLOT1_BOTTOM},  // 1014, 1012, 1013
    {IDC_SLOT2_GROUP, IDC_SLOT2_TOP, IDC_SLOT2_BOTTOM},  // 1001, 1004, 1005
    {IDC_SLOT3_GROUP, IDC_SLOT3_TOP, IDC_SLOT3_BOTTOM},  // 1015, 1017, 1016
    {IDC_SLOT4_GROUP, IDC_SLOT4_TOP, IDC_SLOT4_BOTTOM},  // 1008, 1006, 1007
    {IDC_SLOT5_GROUP, IDC_SLOT5_TOP, IDC_SLOT5_BOTTOM},  // 1009, 1011, 1010
    {IDC_SLOT6_GROUP, IDC_SLOT6_TOP, IDC_SLOT6_BOTTOM},  // 1021, 1023, 1024
};

// OnInitDialog lays out function groups only when a source was found and a function is offered;
// otherwise it shows the message, the Example box and the buttons alone.
bool ShowsFunctionGroups(BOOL sourcesFound, int functionCount);

// --- PlaceFunctionGroup ----------------------------------------------------------------------

struct FunctionGroupRects {
    RECT group;   // 120 x 235
    RECT top;     // 75 x 70, 22 px in, one caption line plus 22 px below the box's top
    RECT bottom;  // 75 x 70, 22 px in, 121 px below the box's top whatever the font
};

// The control whose window rectangle anchors a group that is not placed beside its predecessor:
// slot 0's group box for the start of the second row, else the message control.
int FunctionGroupAnchorId(bool secondRow);

// A group box with its two pictures. With `besidePrevious` the box stands 10 px right of
// `previous`, level with it, and `anchor` is not looked at; otherwise 10 px below `anchor` at its
// left edge, 60 px further right when `secondRow` is set and `functionCount` is not 6 (the shorter
// second row of 5 and 7), and `previous` is not looked at. `captionHeight` is the measured height
// of the group box's caption (still its template text, so one line of the dialog font).
FunctionGroupRects ComputeFunctionGroup(const RECT& previous, const RECT& anchor, bool besidePrevious,
                                        bool secondRow, int functionCount, int captionHeight);

// --- LayoutFunctions -------------------------------------------------------------------------

// Whether `slot` starts the second row: slot 3 of 5 or 6 functions, slot 4 of 7. LayoutFunctions
// places that slot beside its predecessor first, then moves it there with `secondRow` set.
bool StartsSecondRow(int functionCount, int slot);

// --- PlaceExample, PlaceButtons --------------------------------------------------------------

struct ExampleRects {
    RECT box;      // the "Example" group box
    RECT picture;  // the example picture, inset 20 px on every side
};

// No slot: the Example box's left edge follows the last group itself.
inline constexpr int kLastGroupReference = -1;

// The slot whose group box the Example box stands beside: the last box of the longer first row
// (slot 2 of 5, slot 3 of 7), else kLastGroupReference.
int ExampleReferenceSlot(int functionCount);

// The Example box, 387 x 235, 10 px right of `reference` (the window rectangle of the group box
// that ExampleReferenceSlot names, or `lastGroup`). Below 5 functions it is level with
// `lastGroup`; from 5 on it straddles the two rows, from 118 px above `lastGroup`'s top to 117 px
// below it.
ExampleRects ComputeExample(const RECT& lastGroup, const RECT& reference, int functionCount);

struct ButtonRects {
    RECT noThanks;  // "No, thank you." (7), right-aligned with the Example box
    RECT ok;        // "OK" (1), left of it
};

// Both buttons 100 x 25, 10 px apart, their top 10 px below `lastGroup`, right-aligned with
// `example` (the Example box's window rectangle as it stands after ComputeExample).
ButtonRects ComputeButtons(const RECT& lastGroup, const RECT& example);

// --- PlaceHelpLink ---------------------------------------------------------------------------

struct HelpLinkRects {
    RECT icon;  // 16 x 16, 10 px in from the FnLock group box's left and bottom edges
    RECT link;  // right of the icon, as tall as it and exactly `linkTextWidth` wide
};

// `linkTextWidth` is the measured width of the link's text ("What's this?").
HelpLinkRects ComputeHelpLink(const RECT& fnLockGroup, int linkTextWidth);

// --- LayoutExampleOnly, PlaceButtonsExampleOnly ----------------------------------------------

// The Example box when no function group is shown: as wide as the measured message text and 235 px
// tall, its picture inset 20 px left, right and top and 195 px tall. The measured text rectangle
// (`messageText`, from (0, 0)) is taken to stand at the message control's bottom-left corner, so
// the box's left edge is the message control's and its top is `messageText.cy` + 10 px below the
// control's bottom: below the control however the text fits into it. `message` is the message
// control's window rectangle. Nothing bounds the width: a text narrower than 40 px gives a picture
// of negative width, one wider than the screen a box wider than the screen.
ExampleRects ComputeExampleOnly(const RECT& message, SIZE messageText);

// Both buttons 100 x 25, 20 px apart, their top 10 px below `example`, right-aligned with it.
ButtonRects ComputeButtonsExampleOnly(const RECT& example);

// --- FitAndCenterWindow ----------------------------------------------------------------------

struct DialogMetrics {
    int frameX;   // GetSystemMetrics(SM_CXDLGFRAME)
    int frameY;   // SM_CYDLGFRAME
    int caption;  // SM_CYCAPTION
    int screenX;  // SM_CXSCREEN
    int screenY;  // SM_CYSCREEN
};

struct WindowPlacement {
    int x;
    int y;
    int width;
    int height;
};

// The dialog's MoveWindow arguments from `noThanks`, button 7's rectangle in the dialog's client
// coordinates: 20 px beyond the button's right and bottom edges plus the frame and caption, placed
// near the middle of the primary screen. Halving truncates toward zero (C++ signed division); the
// position uses the button's right + 10 and top + 45 and adds the frames, so it is not exactly
// centred, and it is not clamped to the screen.
WindowPlacement ComputeFittedWindow(const RECT& noThanks, const DialogMetrics& metrics);

// --- OnInitDialog's last step ----------------------------------------------------------------

// The message control keeps its left edge, top and height and becomes 10 px narrower than the
// dialog's outer width. `message` and `dialogWindow` are window rectangles (screen coordinates).
RECT ComputeWidenedMessage(const RECT& message, const RECT& dialogWindow);

// --- the whole arrangement -------------------------------------------------------------------

inline constexpr int kNoFnLockSlot = -1;

struct ArrangementInputs {
    BOOL sourcesFound = TRUE;
    int functionCount = 0;  // 0..7
    RECT message{};         // the message control's template rectangle, in client coordinates
    int captionHeight = 0;  // measured height of a group box's template caption
    SIZE messageText{};     // measured message text (the example-only layout)
    int fnLockSlot = kNoFnLockSlot;
    int linkTextWidth = 0;  // measured width of "What's this?"
    DialogMetrics metrics{};
};

struct DialogArrangement {
    bool functionGroups = false;                        // false: the example-only layout
    FunctionGroupRects groups[kPromptFunctionSlots]{};  // slots 0 .. functionCount - 1, the rest empty
    ExampleRects example{};
    ButtonRects buttons{};
    bool helpLink = false;  // only when FnLock's slot is laid out
    HelpLinkRects help{};
    WindowPlacement window{};  // the dialog after FitAndCenterWindow
    RECT message{};            // the message control after it is widened
};

// Every rectangle OnInitDialog gives the dialog when no control is missing, in client coordinates,
// computed by the functions above in the order the dialog's operations call them. A function count
// outside 0..7 gives an empty arrangement (all members zero).
DialogArrangement ComputeArrangement(const ArrangementInputs& in);
