#pragma once
// Colours and fonts as forms and controls describe them.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

namespace winapp {

// A colour: either an RGB value (0x00BBGGRR) or, with the top bit set, a system colour
// index that is looked up when the colour is used, so that it follows the user's scheme.
using TColor = uint32_t;

constexpr TColor kSystemColorFlag = 0x80000000u;
constexpr TColor clBtnFace = kSystemColorFlag | COLOR_BTNFACE;
constexpr TColor clWindowText = kSystemColorFlag | COLOR_WINDOWTEXT;

COLORREF ColorToRGB(TColor color);

// Owns one GDI object (a font, a brush); null means none.
class TGdiObject {
  public:
    TGdiObject() = default;
    explicit TGdiObject(HGDIOBJ object) : FObject(object) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(TGdiObject&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            FObject = std::exchange(other.FObject, nullptr);
        }
        return *this;
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;

    HGDIOBJ Get() const { return FObject; }
    void Reset() {
        if (FObject != nullptr)
            DeleteObject(FObject);
        FObject = nullptr;
    }

  private:
    HGDIOBJ FObject = nullptr;
};

// What a font is: the defaults are the form font of the program's windows.
struct TFontDescription {
    std::string Name = "MS Sans Serif";
    int Height = -11; // negative: the character height in pixels
    BYTE Charset = DEFAULT_CHARSET;
    TColor Color = clWindowText;
    bool Bold = false;
};

// A font description and the GDI font made from it on first use. A copy takes the
// description only; each font makes and owns its own GDI font.
class TFont {
  public:
    TFont() = default;
    explicit TFont(const TFontDescription& description) : FDescription(description) {}
    TFont(const TFont& other) : FDescription(other.FDescription) {}
    TFont& operator=(const TFont& other) {
        Assign(other.FDescription);
        return *this;
    }

    const TFontDescription& Description() const { return FDescription; }
    void Assign(const TFontDescription& description);

    const std::string& Name() const { return FDescription.Name; }
    int Height() const { return FDescription.Height; }
    BYTE Charset() const { return FDescription.Charset; }
    TColor Color() const { return FDescription.Color; }
    bool Bold() const { return FDescription.Bold; }
    void SetBold(bool bold);

    HFONT Handle() const;

  private:
    TFontDescription FDescription;
    mutable TGdiObject FHandle;
};

} // namespace winapp
