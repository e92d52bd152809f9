#pragma once
// Metafile pages written through libEMF's GDI calls, as a Windows report
// engine writes them. Kept apart from Qt: libEMF's Windows headers define
// names (DrawText, RGB, ...) that clash with Qt's.

#include <string>

namespace EmfLib {

// Millimetres of the A4 page every scene is drawn on.
constexpr int PageWidthMm = 210;
constexpr int PageHeightMm = 297;

// A report page in logical units of 0.1 mm (MM_ANISOTROPIC):
//   - "Справка %number" in Arial, 5 mm em, bold, baseline-left at (20, 30) mm;
//   - "Клиент 42" in Times New Roman, 3.5 mm em, each character 2 mm apart
//     (spacing array), baseline-left at (20, 50) mm;
//   - "Сума" as ExtTextOutA bytes in code page 1251 (RUSSIAN_CHARSET), Courier
//     New, 4 mm em, baseline-left at (20, 60) mm;
//   - a blue line 0.5 mm wide from (20, 70) to (190, 70) mm;
//   - a red rectangle (20, 80)-(60, 100) mm, a green ellipse in
//     (80, 80)-(120, 100) mm, a yellow triangle (140, 80), (180, 80),
//     (160, 100) mm.
// (libEMF writes no bitmap records; those come from the test's own writer.)
// Returns the metafile's bytes.
std::string ReportPage(int number);

// The same page drawn in MM_LOMETRIC (y upwards, origin at the top-left
// corner through SetViewportOrgEx / negative y): the red rectangle and the
// first text only.
std::string LoMetricPage();

} // namespace EmfLib
