#include "graphics.h"

#include <cstring>

namespace winapp {

COLORREF ColorToRGB(TColor color) {
    if ((color & kSystemColorFlag) != 0)
        return GetSysColor(static_cast<int>(color & ~kSystemColorFlag));
    return color;
}

void TFont::Assign(const TFontDescription& description) {
    FDescription = description;
    FHandle.Reset();
}

void TFont::SetBold(bool bold) {
    FDescription.Bold = bold;
    FHandle.Reset();
}

HFONT TFont::Handle() const {
    if (FHandle.Get() == nullptr) {
        LOGFONTA font{};
        font.lfHeight = FDescription.Height;
        font.lfWeight = FDescription.Bold ? FW_BOLD : FW_NORMAL;
        font.lfCharSet = FDescription.Charset;
        font.lfOutPrecision = OUT_DEFAULT_PRECIS;
        font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        font.lfQuality = DEFAULT_QUALITY;
        font.lfPitchAndFamily = DEFAULT_PITCH;
        strncpy(font.lfFaceName, FDescription.Name.c_str(), LF_FACESIZE - 1);
        FHandle = TGdiObject(CreateFontIndirectA(&font));
    }
    return static_cast<HFONT>(FHandle.Get());
}

} // namespace winapp
