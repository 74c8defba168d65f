// Resource identifiers of the test dialog that exercises the class-library layer.
#pragma once

#define IDD_UI_PROBE 200
#define IDC_PROBE_STATIC 300
