#include "Columns.hpp"

#include "AnalysisPanel.hpp"
#include "InspectorView.hpp"
#include "PreviewPane.hpp"
#include "SidebarView.hpp"

namespace lumivert {

ContentView::Columns makeColumns(AppModel& model)
{
    auto* inspector = new InspectorView(model, new AnalysisPanel(model));
    return {new SidebarView(model), new PreviewPane(model), inspector};
}

}  // namespace lumivert
