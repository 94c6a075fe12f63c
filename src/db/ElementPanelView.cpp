#include "db/ElementPanelView.h"

#include "db/TextHelpers.h"

namespace nms {

QString ElementPanelView::selectedSection() const
{
    return text::NormalizeMAC(caption(Caption::Mac));
}

} // namespace nms
