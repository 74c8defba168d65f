// Resource identifiers of the test dialogs that exercise the class-library layer.
#pragma once

#define IDD_UI_PROBE 200
#define IDC_PROBE_STATIC 300

// No template has this identifier.
#define IDD_MISSING 299
