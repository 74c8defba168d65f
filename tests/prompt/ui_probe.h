// Resource identifiers of the test dialogs that exercise the class-library layer and the help link.
#pragma once

#define IDD_UI_PROBE 200
#define IDC_PROBE_STATIC 300

// A dialog with the help link's control: OK (the default button), the link (a tab stop), Cancel.
#define IDD_LINK_PROBE 201
#define IDC_PROBE_LINK 301

// No template has this identifier.
#define IDD_MISSING 299
