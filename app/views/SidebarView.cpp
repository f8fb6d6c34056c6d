#include "SidebarView.hpp"

#include "ImageWell.hpp"
#include "LUTFileActions.hpp"
#include "ModeRow.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace lumivert {

namespace {

constexpr int sideMargin = 10;
constexpr int topMargin = 10;
constexpr int rowSpacing = 2;
constexpr int wellSpacing = 8;
constexpr int sectionGap = 14;
constexpr int headerGap = 4;

QLabel* sectionHeader(const QString& text, QWidget* parent)
{
    auto* header = new QLabel(text, parent);
    header->setFont(Theme::font(Theme::TextStyle::caption, QFont::DemiBold));
    QPalette palette = header->palette();
    palette.setColor(QPalette::WindowText, Theme::secondary());
    header->setPalette(palette);
    header->setContentsMargins(4, 0, 0, 0);
    return header;
}

}  // namespace

SidebarView::SidebarView(AppModel& model, QWidget* parent)
    : QScrollArea(parent), model_(model), imagesHeader_(nullptr), wellsLayout_(new QVBoxLayout),
      saveHaldButton_(nullptr), previewWell_(nullptr)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(sideMargin, topMargin, sideMargin, topMargin);
    column->setSpacing(0);

    column->addWidget(sectionHeader(QStringLiteral("Create a LUT from"), content));
    column->addSpacing(headerGap);
    for (std::size_t i = 0; i < modeRows_.size(); ++i) {
        auto* row = new ModeRow(Modes::allCases()[i], content);
        connect(row, &ModeRow::activated, &model_, &AppModel::setMode);
        modeRows_[i] = row;
        if (i > 0)
            column->addSpacing(rowSpacing);
        column->addWidget(row);
    }
    lutFileRow_ = new ModeRow(QStringLiteral("square.grid.3x3"), QStringLiteral("LUT file"),
                              QString(), content);
    connect(lutFileRow_, &ModeRow::triggered, this, [this] {
        if (model_.lutFile())
            model_.setShowingLUTFile(true);
        else
            LUTFileActions::choose(model_, this);
    });
    column->addSpacing(rowSpacing);
    column->addWidget(lutFileRow_);

    column->addSpacing(sectionGap);
    imagesHeader_ = sectionHeader(QString(), content);
    column->addWidget(imagesHeader_);
    column->addSpacing(headerGap);
    wellsLayout_->setSpacing(wellSpacing);
    wellsLayout_->setContentsMargins(0, 0, 0, 0);
    column->addLayout(wellsLayout_);
    saveHaldButton_ = new QPushButton(Symbols::icon(QStringLiteral("square.and.arrow.down")),
                                      QStringLiteral("Save Identity HALD…"), content);
    saveHaldButton_->setToolTip(
        QStringLiteral("Save a neutral 512 × 512 HALD image to grade in Photoshop or any editor"));
    connect(saveHaldButton_, &QPushButton::clicked, &model_, &AppModel::saveIdentityHALD);
    // In the wells' layout, so that while hidden it leaves no gap.
    wellsLayout_->addWidget(saveHaldButton_, 0, Qt::AlignLeft);

    column->addSpacing(sectionGap);
    column->addWidget(sectionHeader(QStringLiteral("Preview on"), content));
    column->addSpacing(headerGap);
    previewWell_ = new ImageWell(model_, Slot::preview, true, content);
    column->addWidget(previewWell_);
    column->addStretch(1);

    setWidget(content);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(QStringLiteral("Sidebar"));
    setAccessibleDescription(QStringLiteral("How to make the LUT, and the images it is made from"));

    connect(&model_, &AppModel::modeChanged, this, &SidebarView::showMode);
    connect(&model_, &AppModel::showingLUTFileChanged, this, &SidebarView::showMode);
    connect(&model_, &AppModel::lutFileChanged, this, &SidebarView::showLUTFile);
    showLUTFile();
    showMode();
}

QString SidebarView::imagesHeader() const { return imagesHeader_->text(); }

ImageWell* SidebarView::wellFor(Slot slot)
{
    const auto found = wells_.find(slot);
    if (found != wells_.end())
        return found->second;
    auto* well = new ImageWell(model_, slot, false, widget());
    wells_.emplace(slot, well);
    return well;
}

void SidebarView::showMode()
{
    const Mode mode = model_.mode();
    const bool lutFile = model_.showingLUTFile();
    for (ModeRow* row : modeRows_)
        row->setSelected(!lutFile && row->mode() == mode);
    lutFileRow_->setSelected(lutFile);
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(toRecipe(mode));
    imagesHeader_->setText(QString::fromUtf8(recipe.inputsTitle.data(),
                                             static_cast<qsizetype>(recipe.inputsTitle.size())));

    // Wells are hidden, never deleted: a well may be inside its own click handler while the
    // image panel's event loop runs.
    for (ImageWell* well : inputWells_) {
        wellsLayout_->removeWidget(well);
        well->hide();
    }
    inputWells_.clear();
    for (Slot slot : Modes::slots(mode)) {
        ImageWell* well = wellFor(slot);
        wellsLayout_->insertWidget(static_cast<int>(inputWells_.size()), well);
        well->show();
        inputWells_.push_back(well);
    }
    saveHaldButton_->setVisible(recipe.offersTemplate);
    // Wells are made when a mode first needs them, after the preview well: Tab follows the
    // column from top to bottom rather than the order they were made in.
    QWidget* previous = lutFileRow_;
    for (ImageWell* well : inputWells_) {
        setTabOrder(previous, well);
        previous = well;
    }
    setTabOrder(previous, saveHaldButton_);
    setTabOrder(saveHaldButton_, previewWell_);
}

void SidebarView::showLUTFile()
{
    const auto& file = model_.lutFile();
    lutFileRow_->setDescription(file ? QFileInfo(file->path).fileName()
                                     : QStringLiteral("See what a .cube, .3dl or HALD file does"));
}

void SidebarView::keyPressEvent(QKeyEvent* event)
{
    // Up and Down step through the modes while a mode row has the focus, like a list.
    const auto focused = std::find(modeRows_.begin(), modeRows_.end(), focusWidget());
    const bool step = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
    if (!step || focused == modeRows_.end()) {
        QScrollArea::keyPressEvent(event);
        return;
    }
    const auto index = std::distance(modeRows_.begin(), focused);
    const auto next = event->key() == Qt::Key_Up ? index - 1 : index + 1;
    if (next < 0 || next >= static_cast<std::ptrdiff_t>(modeRows_.size()))
        return;
    ModeRow* row = modeRows_[static_cast<std::size_t>(next)];
    row->setFocus(Qt::TabFocusReason);
    model_.setMode(row->mode());
}

}  // namespace lumivert
