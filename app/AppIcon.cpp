#include "app/AppIcon.h"

#include "AppIconSvg.h"  // kIconSvg, made from resources/quillomark.svg at build time

namespace qm {

wxBitmapBundle AppIconBundle()
{
    return wxBitmapBundle::FromSVG(kIconSvg, wxSize(64, 64));
}

wxIconBundle AppIcons()
{
    const wxBitmapBundle bundle = AppIconBundle();
    wxIconBundle icons;
    for (int size : {16, 32, 48, 64}) {
        wxIcon icon;
        icon.CopyFromBitmap(bundle.GetBitmap(wxSize(size, size)));
        icons.AddIcon(icon);
    }
    return icons;
}

} // namespace qm
