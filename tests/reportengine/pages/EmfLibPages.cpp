#include "EmfLibPages.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include <libEMF/emf.h>

namespace EmfLib {

namespace {

// Runs draw on a new metafile of the A4 page and returns its bytes.
template <typename Draw> std::string Record(Draw draw) {
    FILE* file = std::tmpfile();
    if (!file)
        throw std::runtime_error("no temporary file");
    RECT frame{0, 0, PageWidthMm * 100, PageHeightMm * 100};
    // The description is two strings ending in an empty one.
    HDC dc = CreateEnhMetaFileWithFILEA(0, file, &frame, "Vexal\0test page\0");
    draw(dc);
    HENHMETAFILE metafile = CloseEnhMetaFileWithFILE(dc);
    DeleteEnhMetaFile(metafile);
    std::string bytes;
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

HFONT Font(int height, int weight, BYTE charSet, const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = charSet;
    for (int i = 0; face[i] && i < 31; ++i)
        lf.lfFaceName[i] = WCHAR(face[i]);
    return CreateFontIndirectW(&lf);
}

// A wide string as the 16-bit characters GDI takes.
std::vector<WCHAR> Wide(const wchar_t* text) {
    std::vector<WCHAR> out;
    for (; *text; ++text)
        out.push_back(WCHAR(*text));
    return out;
}

// Logical units of 0.1 mm across the page.
void TenthsOfMm(HDC dc) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, PageWidthMm * 10, PageHeightMm * 10, nullptr);
    const int px = GetDeviceCaps(dc, HORZRES);
    const int py = GetDeviceCaps(dc, VERTRES);
    const int mx = GetDeviceCaps(dc, HORZSIZE);
    const int my = GetDeviceCaps(dc, VERTSIZE);
    SetViewportExtEx(dc, PageWidthMm * px / mx, PageHeightMm * py / my, nullptr);
}

} // namespace

std::string ReportPage(int number) {
    return Record([number](HDC dc) {
        TenthsOfMm(dc);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BASELINE | TA_LEFT);

        HFONT heading = Font(-50, FW_BOLD, DEFAULT_CHARSET, L"Arial");
        HGDIOBJ oldFont = SelectObject(dc, heading);
        wchar_t title[64];
        std::swprintf(title, 64, L"Справка %d", number);
        const std::vector<WCHAR> t = Wide(title);
        ExtTextOutW(dc, 200, 300, 0, nullptr, t.data(), UINT(t.size()), nullptr);

        HFONT body = Font(-35, FW_NORMAL, DEFAULT_CHARSET, L"Times New Roman");
        SelectObject(dc, body);
        const std::vector<WCHAR> client = Wide(L"Клиент 42");
        std::vector<INT> dx(client.size(), 20);
        ExtTextOutW(dc, 200, 500, 0, nullptr, client.data(), UINT(client.size()), dx.data());

        HFONT courier = Font(-40, FW_NORMAL, RUSSIAN_CHARSET, L"Courier New");
        SelectObject(dc, courier);
        const char sum[] = "\xD1\xF3\xEC\xE0"; // "Сума" in code page 1251
        ExtTextOutA(dc, 200, 600, 0, nullptr, sum, 4, nullptr);
        SelectObject(dc, oldFont);
        DeleteObject(heading);
        DeleteObject(body);
        DeleteObject(courier);

        HPEN blue = CreatePen(PS_SOLID, 5, RGB(0, 0, 255));
        HGDIOBJ oldPen = SelectObject(dc, blue);
        MoveToEx(dc, 200, 700, nullptr);
        LineTo(dc, 1900, 700);
        SelectObject(dc, GetStockObject(NULL_PEN));

        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        HGDIOBJ oldBrush = SelectObject(dc, red);
        Rectangle(dc, 200, 800, 600, 1000);
        HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
        SelectObject(dc, green);
        Ellipse(dc, 800, 800, 1200, 1000);
        HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
        SelectObject(dc, yellow);
        POINT triangle[] = {{1400, 800}, {1800, 800}, {1600, 1000}};
        Polygon(dc, triangle, 3);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(red);
        DeleteObject(green);
        DeleteObject(yellow);
        DeleteObject(blue);
    });
}

std::string LoMetricPage() {
    return Record([](HDC dc) {
        SetMapMode(dc, MM_LOMETRIC);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BASELINE | TA_LEFT);
        HFONT heading = Font(-50, FW_BOLD, DEFAULT_CHARSET, L"Arial");
        SelectObject(dc, heading);
        const std::vector<WCHAR> t = Wide(L"Справка 1");
        ExtTextOutW(dc, 200, -300, 0, nullptr, t.data(), UINT(t.size()), nullptr);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        SelectObject(dc, red);
        SelectObject(dc, GetStockObject(NULL_PEN));
        Rectangle(dc, 200, -800, 600, -1000);
    });
}

} // namespace EmfLib
