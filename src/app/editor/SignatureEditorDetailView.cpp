#include "app/editor/SignatureEditorDetailView.h"

#include "app/look/ElidingLabel.h"
#include "app/editor/PreviewView.h"
#include "app/editor/SaveToastView.h"
#include "app/look/Style.h"
#include "app/look/Symbols.h"
#include "platform/RunningApplications.h"

#include <QAbstractTextDocumentLayout>
#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

namespace veltrin {

namespace {

const QString mailBundleIdentifier = QStringLiteral("com.apple.mail");
constexpr int toastTopInset = 60;
constexpr int codeLineSpacing = 4;
constexpr QSize themeControlSize(16, 11);

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setObjectName(QStringLiteral("divider"));
    line->setFixedHeight(1);
    return line;
}

// A symbol before a text, as one label; the text label moves into it.
QWidget* symbolLabel(QLabel*& icon, QLabel* text, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    icon = new QLabel(box);
    text->setParent(box);
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addWidget(text, 0, Qt::AlignVCenter);
    return box;
}

class Circle final : public QWidget {
public:
    explicit Circle(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(8, 8);
    }
    void setColor(const QColor& color)
    {
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(rect());
    }

private:
    QColor m_color;
};

// One theme in the theme menu: its symbol, its name and, for the current theme, a checkmark.
class ThemeMenuRow final : public QWidget {
public:
    ThemeMenuRow(PreviewTheme theme, QWidgetAction* action, QWidget* parent)
        : QWidget(parent)
        , m_action(action)
        , m_icon(new QLabel(this))
        , m_text(new QLabel(rawValue(theme), this))
        , m_checkmark(new QLabel(this))
        , m_theme(theme)
    {
        setMouseTracking(true);
        m_checkmark->setObjectName(QStringLiteral("checkmark"));
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(10, 4, 12, 4);
        layout->addWidget(m_icon);
        layout->addWidget(m_text);
        layout->addWidget(m_checkmark);
        layout->addStretch();
    }

    void setCurrent(bool current, bool dark)
    {
        const QColor ink = Style::color(Style::Color::primary, dark);
        m_icon->setPixmap(Symbols::pixmap(symbolName(m_theme), 16, ink));
        m_checkmark->setPixmap(Symbols::pixmap(QStringLiteral("checkmark"), 14, ink));
        m_checkmark->setVisible(current);
        setTextColor(m_text, ink);
    }

protected:
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }
    void paintEvent(QPaintEvent*) override
    {
        if (!underMouse())
            return;
        QPainter painter(this);
        QColor highlight = palette().color(QPalette::Highlight);
        highlight.setAlpha(70);
        painter.fillRect(rect(), highlight);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!rect().contains(event->position().toPoint()))
            return;
        QWidget* menu = parentWidget();
        m_action->trigger();
        if (menu)
            menu->hide();
    }

private:
    QWidgetAction* m_action;
    QLabel* m_icon;
    QLabel* m_text;
    QLabel* m_checkmark;
    PreviewTheme m_theme;
};

// Two texts are the same signature HTML when they are canonically equivalent.
bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    // Only the stretch that differs needs normalising. Cuts go before ASCII characters: no
    // composition or reordering reaches across one, so both sides normalise independently.
    const qsizetype shorter = qMin(a.size(), b.size());
    qsizetype prefix = 0;
    while (prefix < shorter && a[prefix] == b[prefix])
        ++prefix;
    const auto asciiOrEnd = [](const QString& text, qsizetype at) { return at >= text.size() || text[at].unicode() < 0x80; };
    while (prefix > 0 && !(asciiOrEnd(a, prefix) && asciiOrEnd(b, prefix)))
        --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    while (suffix > 0 && a[a.size() - suffix].unicode() >= 0x80)
        --suffix;
    const QString middleA = a.mid(prefix, a.size() - prefix - suffix);
    const QString middleB = b.mid(prefix, b.size() - prefix - suffix);
    return middleA.normalized(QString::NormalizationForm_C) == middleB.normalized(QString::NormalizationForm_C);
}

bool usesCrLfOnly(const QString& text)
{
    const qsizetype crlf = text.count(u"\r\n");
    return crlf > 0 && crlf == text.count(u'\n');
}

} // namespace

bool SignatureEditorDetailView::hasUnsavedChanges(const State& state)
{
    return !canonicallyEqual(state.htmlDraft, state.originalBody);
}

bool SignatureEditorDetailView::saveEnabled(const State& state)
{
    return hasUnsavedChanges(state) && !state.isLoading && state.contentMatchesSignature;
}

std::optional<SignatureEditorDetailView::ErrorLine> SignatureEditorDetailView::errorLine(const SignatureFile& signature,
                                                                                          const State& state)
{
    if (signature.errorMessage)
        return ErrorLine{*signature.errorMessage, false};
    if (state.saveError)
        return ErrorLine{*state.saveError, true};
    return std::nullopt;
}

void SignatureEditorDetailView::applyLoadResult(State& state, const std::expected<SignatureContent, Error>& result)
{
    state.isLoading = true;
    state.saveError.reset();
    state.viewMode = ViewMode::view;
    if (!result) {
        state.saveError = tr("Failed to load signature: ") + result.error().description;
        state.contentMatchesSignature = false;
        state.isLoading = false;
        return;
    }
    state.header = result->header;
    state.originalBody = result->html;
    state.htmlDraft = result->html;
    state.contentMatchesSignature = true;
    state.isLoading = false;
}

bool SignatureEditorDetailView::applySaveResult(State& state, const std::expected<void, Error>& result)
{
    if (!result) {
        state.saveError = tr("Failed to save signature: ") + result.error().description;
        return false;
    }
    state.originalBody = state.htmlDraft;
    return true;
}

SignatureEditorDetailView::SignatureEditorDetailView(RunningApplications& runningApplications, QWidget* parent)
    : QWidget(parent)
    , m_runningApplications(runningApplications)
{
    setObjectName(QStringLiteral("signatureEditor"));
    m_systemColorScheme = Style::isDark(palette()) ? ColorScheme::dark : ColorScheme::light;

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* header = new QWidget(this);
    buildHeader(header);
    column->addWidget(header);
    buildContent();
    column->addWidget(m_content, 1);
    auto* footer = new QWidget(this);
    buildFooter(footer);
    column->addWidget(footer);

    m_toast = new SaveToastView(this);
    render();
}

SignatureEditorDetailView::~SignatureEditorDetailView() = default;

void SignatureEditorDetailView::buildHeader(QWidget* header)
{
    header->setObjectName(QStringLiteral("header"));
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(16, 16, 16, 8);
    layout->setSpacing(8);

    auto* titleRow = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    m_nameLabel = new QLabel(header);
    m_nameLabel->setObjectName(QStringLiteral("displayName"));
    m_nameLabel->setTextFormat(Qt::PlainText);
    m_nameLabel->setFont(Style::font(Style::TextStyle::title2, QFont::DemiBold));
    m_pathLabel = new ElidingLabel(Qt::ElideMiddle, header);
    m_pathLabel->setObjectName(QStringLiteral("filePath"));
    m_pathLabel->setFont(Style::font(Style::TextStyle::caption));
    titles->addWidget(m_nameLabel);
    titles->addWidget(m_pathLabel);
    titleRow->addLayout(titles, 1);
    titleRow->addStretch();

    auto* picker = new QWidget(header);
    picker->setObjectName(QStringLiteral("modePicker"));
    picker->setFixedWidth(160);
    auto* pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    auto* group = new QButtonGroup(picker);
    for (ViewMode mode : allViewModes()) {
        auto* segment = new QPushButton(rawValue(mode), picker);
        segment->setObjectName(mode == ViewMode::view ? QStringLiteral("previewSegment") : QStringLiteral("codeSegment"));
        segment->setCheckable(true);
        segment->setFocusPolicy(Qt::TabFocus);
        group->addButton(segment);
        pickerLayout->addWidget(segment, 1);
        connect(segment, &QPushButton::clicked, this, [this, mode] { setViewMode(mode); });
        (mode == ViewMode::view ? m_previewButton : m_codeButton) = segment;
    }
    titleRow->addWidget(picker, 0, Qt::AlignVCenter);
    layout->addLayout(titleRow);
    layout->addWidget(divider(header));

    auto* secondRow = new QHBoxLayout;
    m_errorLine = new QWidget(header);
    m_errorLine->setObjectName(QStringLiteral("errorLine"));
    auto* errorLayout = new QHBoxLayout(m_errorLine);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->setSpacing(8);
    m_errorText = new ElidingLabel(Qt::ElideRight, m_errorLine);
    m_errorText->setObjectName(QStringLiteral("errorText"));
    m_errorText->setFont(Style::font(Style::TextStyle::caption));
    errorLayout->addWidget(symbolLabel(m_errorIcon, m_errorText, m_errorLine));
    errorLayout->addStretch(1);
    m_dismissButton = new QPushButton(tr("Dismiss"), m_errorLine);
    m_dismissButton->setObjectName(QStringLiteral("dismissButton"));
    m_dismissButton->setFlat(true);
    m_dismissButton->setFont(Style::font(Style::TextStyle::caption));
    m_dismissButton->setCursor(Qt::PointingHandCursor);
    connect(m_dismissButton, &QPushButton::clicked, this, &SignatureEditorDetailView::dismissError);
    errorLayout->addWidget(m_dismissButton);
    secondRow->addWidget(m_errorLine);
    secondRow->addStretch(1);

    m_themeControl = new QStackedWidget(header);
    m_themeControl->setFixedSize(themeControlSize);
    m_themeButton = new QToolButton(m_themeControl);
    m_themeButton->setObjectName(QStringLiteral("themeMenuButton"));
    m_themeButton->setFixedSize(themeControlSize);
    m_themeButton->setIconSize(themeControlSize);
    m_themeButton->setAutoRaise(true);
    m_themeButton->setPopupMode(QToolButton::InstantPopup);
    m_themeButton->setToolTip(tr("Change preview theme"));
    m_themeButton->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"
                                                "QToolButton::menu-indicator { image: none; width: 0; }"));
    m_themeMenu = new QMenu(m_themeButton);
    m_themeMenu->setObjectName(QStringLiteral("themeMenu"));
    for (PreviewTheme theme : allPreviewThemes()) {
        auto* action = new QWidgetAction(m_themeMenu);
        action->setText(rawValue(theme));
        action->setData(rawValue(theme));
        action->setDefaultWidget(new ThemeMenuRow(theme, action, m_themeMenu));
        connect(action, &QAction::triggered, this, [this, theme] { chooseTheme(theme); });
        m_themeMenu->addAction(action);
    }
    m_themeButton->setMenu(m_themeMenu);
    m_themeBlank = new QWidget(m_themeControl);
    m_themeBlank->setObjectName(QStringLiteral("themeBlank"));
    m_themeBlank->setFixedSize(themeControlSize);
    m_themeControl->addWidget(m_themeButton);
    m_themeControl->addWidget(m_themeBlank);
    secondRow->addWidget(m_themeControl, 0, Qt::AlignVCenter);
    secondRow->addSpacing(10);
    layout->addLayout(secondRow);
}

void SignatureEditorDetailView::buildContent()
{
    m_content = new QStackedWidget(this);
    m_content->setObjectName(QStringLiteral("content"));

    m_loadingPage = new QWidget(m_content);
    m_loadingPage->setObjectName(QStringLiteral("loadingPage"));
    auto* loadingLayout = new QVBoxLayout(m_loadingPage);
    loadingLayout->setSpacing(20);
    loadingLayout->addStretch();
    auto* progress = new QProgressBar(m_loadingPage);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedWidth(120);
    loadingLayout->addWidget(progress, 0, Qt::AlignHCenter);
    m_loadingText = new QLabel(tr("Loading signature..."), m_loadingPage);
    m_loadingText->setFont(Style::font(Style::TextStyle::body));
    loadingLayout->addWidget(m_loadingText, 0, Qt::AlignHCenter);
    loadingLayout->addStretch();

    m_previewPage = new QWidget(m_content);
    m_previewPage->setObjectName(QStringLiteral("previewPage"));
    auto* previewLayout = new QHBoxLayout(m_previewPage);
    previewLayout->setContentsMargins(10, 0, 0, 0);
    m_previewBackground = new QWidget(m_previewPage);
    m_previewBackground->setObjectName(QStringLiteral("previewBackground"));
    auto* previewBackgroundLayout = new QHBoxLayout(m_previewBackground);
    previewBackgroundLayout->setContentsMargins(0, 0, 0, 0);
    m_preview = createPreviewView(m_previewBackground);
    previewBackgroundLayout->addWidget(m_preview->widget());
    previewLayout->addWidget(m_previewBackground);

    m_codePage = new QWidget(m_content);
    m_codePage->setObjectName(QStringLiteral("codePage"));
    auto* codeLayout = new QHBoxLayout(m_codePage);
    codeLayout->setContentsMargins(4, 4, 4, 4);
    m_codeEditor = new QPlainTextEdit(m_codePage);
    m_codeEditor->setObjectName(QStringLiteral("codeEditor"));
    m_codeEditor->setFrameShape(QFrame::NoFrame);
    m_codeEditor->setFont(Style::monospacedFont(Style::font(Style::TextStyle::body).pixelSize()));
    m_codeEditor->setTabChangesFocus(false);
    m_codeEditor->setAutoFillBackground(true);
    codeLayout->addWidget(m_codeEditor);
    connect(m_codeEditor, &QPlainTextEdit::textChanged, this, &SignatureEditorDetailView::codeEdited);

    m_content->addWidget(m_loadingPage);
    m_content->addWidget(m_previewPage);
    m_content->addWidget(m_codePage);
}

void SignatureEditorDetailView::buildFooter(QWidget* footer)
{
    footer->setObjectName(QStringLiteral("footer"));
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    m_mailWarningText = new QLabel(footer);
    m_mailWarning = symbolLabel(m_mailWarningIcon, m_mailWarningText, footer);
    m_mailWarning->setObjectName(QStringLiteral("mailWarning"));
    m_mailWarningText->setText(tr("Mail is open — changes may be overwritten"));
    m_mailWarningText->setFont(Style::font(Style::TextStyle::caption));
    layout->addWidget(m_mailWarning);
    layout->addStretch();

    m_unsavedIndicator = new QWidget(footer);
    m_unsavedIndicator->setObjectName(QStringLiteral("unsavedIndicator"));
    auto* unsavedLayout = new QHBoxLayout(m_unsavedIndicator);
    unsavedLayout->setContentsMargins(0, 0, 0, 0);
    unsavedLayout->setSpacing(6);
    m_unsavedDot = new Circle(m_unsavedIndicator);
    m_unsavedText = new QLabel(tr("Unsaved Changes"), m_unsavedIndicator);
    m_unsavedText->setFont(Style::font(Style::TextStyle::caption));
    unsavedLayout->addWidget(m_unsavedDot, 0, Qt::AlignVCenter);
    unsavedLayout->addWidget(m_unsavedText, 0, Qt::AlignVCenter);
    layout->addWidget(m_unsavedIndicator);

    m_saveButton = new QPushButton(tr("Save to Mail"), footer);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setFont(Style::font(Style::TextStyle::body));
    connect(m_saveButton, &QPushButton::clicked, this, &SignatureEditorDetailView::saveTapped);
    layout->addWidget(m_saveButton);
}

ColorScheme SignatureEditorDetailView::effectiveColorScheme() const
{
    return veltrin::effectiveColorScheme(m_state.previewTheme, m_systemColorScheme);
}

bool SignatureEditorDetailView::isMailRunning() const
{
    return m_runningApplications.runningCount(mailBundleIdentifier) > 0;
}

void SignatureEditorDetailView::setSignature(const SignatureFile& signature)
{
    const bool idChanged = signature.id != m_signature.id;
    m_signature = signature;
    if (idChanged && isVisible())
        loadSignature();
    else
        render();
}

void SignatureEditorDetailView::loadSignature()
{
    const auto result = m_signature.loadContent();
    applyLoadResult(m_state, result);
    if (result) {
        m_draftUsesCrLf = usesCrLfOnly(result->html);
        m_codeEditorStale = true;
    }
    render();
}

void SignatureEditorDetailView::saveTapped()
{
    if (isMailRunning()) {
        m_state.showingSaveConfirmation = true;
        openSaveConfirmation();
        render();
        return;
    }
    performSave();
}

void SignatureEditorDetailView::performSave()
{
    // After a failed load the texts are another file's; they never go into this one.
    if (!m_state.contentMatchesSignature)
        return;
    if (!applySaveResult(m_state, m_signature.save(m_state.header, m_state.htmlDraft))) {
        render();
        return;
    }
    const QPointer<SignatureEditorDetailView> self(this);
    if (m_onSaved)
        m_onSaved();
    if (!self)
        return;
    m_state.showingSaveToast = true;
    // Each save hides the toast on its own schedule; an earlier save's hide may end a later toast.
    QTimer::singleShot(m_toastDuration, this, [this] {
        m_state.showingSaveToast = false;
        render();
    });
    render();
}

void SignatureEditorDetailView::dismissError()
{
    m_state.saveError.reset();
    render();
}

void SignatureEditorDetailView::chooseTheme(PreviewTheme theme)
{
    m_state.previewTheme = theme;
    render();
}

void SignatureEditorDetailView::setViewMode(ViewMode mode)
{
    m_state.viewMode = mode;
    render();
}

void SignatureEditorDetailView::openSaveConfirmation()
{
    if (m_confirmation)
        return;
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("saveConfirmation"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(tr("Please close Mail before saving"));
    box->setText(tr("Please close Mail before saving"));
    box->setInformativeText(tr("Apple Mail can overwrite signature changes while it's open."));
    QPushButton* save = box->addButton(tr("Save"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(tr("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, save] {
        const bool chosen = box->clickedButton() == save;
        m_state.showingSaveConfirmation = false;
        if (chosen)
            performSave();
        else
            render();
    });
    m_confirmation = box;
    box->open();
}

void SignatureEditorDetailView::codeEdited()
{
    if (m_updatingCodeEditor)
        return;
    // The document keeps line breaks as paragraph separators and no carriage returns.
    QString text = m_codeEditor->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    if (m_draftUsesCrLf)
        text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    m_state.htmlDraft = std::move(text);
    render();
}

void SignatureEditorDetailView::setToastShown(bool shown)
{
    m_toast->placeIn(rect(), toastTopInset);
    if (shown)
        m_toast->present();
    else
        m_toast->dismiss();
}

void SignatureEditorDetailView::render()
{
    renderColours();

    m_nameLabel->setText(m_signature.displayName);
    m_pathLabel->setFullText(m_signature.filePath.toLocalFile());
    m_previewButton->setChecked(m_state.viewMode == ViewMode::view);
    m_codeButton->setChecked(m_state.viewMode == ViewMode::code);

    const std::optional<ErrorLine> line = errorLine(m_signature, m_state);
    m_errorLine->setVisible(line.has_value());
    if (line) {
        m_errorText->setFullText(line->message);
        m_dismissButton->setVisible(line->dismissible);
    }
    m_themeControl->setCurrentWidget(m_state.viewMode == ViewMode::view ? static_cast<QWidget*>(m_themeButton)
                                                                          : m_themeBlank);
    renderThemeMenu();

    const ColorScheme scheme = effectiveColorScheme();
    if (m_state.isLoading) {
        m_content->setCurrentWidget(m_loadingPage);
        m_previewShown = false;
    } else if (m_state.viewMode == ViewMode::view) {
        // The preview is built anew whenever it comes back or its inputs change.
        if (!m_previewShown || m_preview->htmlContent() != m_state.htmlDraft || m_preview->colorScheme() != scheme)
            m_preview->updatePage(m_state.htmlDraft, scheme);
        m_previewShown = true;
        m_content->setCurrentWidget(m_previewPage);
    } else {
        m_previewShown = false;
        if (m_codeEditorStale) {
            m_updatingCodeEditor = true;
            m_codeEditor->setPlainText(m_state.htmlDraft);
            QTextCursor cursor(m_codeEditor->document());
            cursor.select(QTextCursor::Document);
            QTextBlockFormat spacing;
            spacing.setLineHeight(codeLineSpacing, QTextBlockFormat::LineDistanceHeight);
            cursor.mergeBlockFormat(spacing);
            m_codeEditor->document()->clearUndoRedoStacks();
            m_codeEditor->moveCursor(QTextCursor::Start);
            m_updatingCodeEditor = false;
            m_codeEditorStale = false;
        }
        m_content->setCurrentWidget(m_codePage);
    }

    m_mailWarning->setVisible(isMailRunning());
    m_unsavedIndicator->setVisible(hasUnsavedChanges(m_state));
    m_saveButton->setEnabled(saveEnabled(m_state));
    setToastShown(m_state.showingSaveToast);
}

void SignatureEditorDetailView::renderColours()
{
    const ColorScheme scheme = effectiveColorScheme();
    const bool dark = m_systemColorScheme == ColorScheme::dark;
    const bool contentDark = scheme == ColorScheme::dark;
    const std::pair<bool, bool> key{dark, contentDark};
    if (m_coloursApplied == key)
        return;
    m_coloursApplied = key;
    m_menuTheme.reset();

    const QColor primary = Style::color(Style::Color::primary, dark);
    const QColor secondary = Style::color(Style::Color::secondary, dark);
    const QColor red = Style::color(Style::Color::red, dark);
    const QColor orange = Style::color(Style::Color::orange, dark);
    setTextColor(m_nameLabel, primary);
    const QList<QFrame*> dividers = findChildren<QFrame*>(QStringLiteral("divider"));
    for (QFrame* line : dividers)
        setTextColor(line, dark ? QColor(255, 255, 255, 38) : QColor(0, 0, 0, 26));
    setTextColor(m_pathLabel, secondary);
    setTextColor(m_errorText, red);
    m_errorIcon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), 12, red));
    setTextColor(m_dismissButton, primary);
    m_dismissButton->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0 2px; background: transparent; }"));
    setTextColor(m_loadingText, secondary);
    setTextColor(m_mailWarningText, orange);
    m_mailWarningIcon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), 12, orange));
    static_cast<Circle*>(m_unsavedDot)->setColor(orange);
    setTextColor(m_unsavedText, secondary);

    const QString border = dark ? QStringLiteral("rgba(255,255,255,0.18)") : QStringLiteral("rgba(0,0,0,0.18)");
    const QString segment = dark ? QStringLiteral("rgba(255,255,255,0.10)") : QStringLiteral("#ffffff");
    const QString selected = dark ? QStringLiteral("rgba(255,255,255,0.28)") : QStringLiteral("rgba(0,0,0,0.12)");
    const QString ink = primary.name(QColor::HexArgb);
    const QString segmentStyle = QStringLiteral(
        "QPushButton { border: 1px solid %1; background: %2; color: %4; padding: 2px 6px; min-height: 16px; }"
        "QPushButton:checked { background: %3; }"
        "QPushButton#previewSegment { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }"
        "QPushButton#codeSegment { border-left: none; border-top-right-radius: 5px; border-bottom-right-radius: 5px; }")
                                     .arg(border, segment, selected, ink);
    m_previewButton->parentWidget()->setStyleSheet(segmentStyle);

    const QString blue = Style::color(Style::Color::blue, dark).name();
    const QString pressed = Style::color(Style::Color::blue, dark).darker(120).name();
    const QString disabledFill = dark ? QStringLiteral("rgba(255,255,255,0.12)") : QStringLiteral("rgba(0,0,0,0.08)");
    const QString disabledInk = Style::color(Style::Color::tertiary, dark).name(QColor::HexArgb);
    m_saveButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
                       " padding: 6px 16px; min-height: 18px; }"
                       "QPushButton:pressed { background: %2; }"
                       "QPushButton:disabled { background: %3; color: %4; }")
            .arg(blue, pressed, disabledFill, disabledInk));

    const QColor background = contentBackgroundColor(scheme);
    setBackground(m_previewBackground, background);
    QPalette code = m_codeEditor->palette();
    const QColor codeInk = contentDark ? QColor(Qt::white) : QColor(Qt::black);
    code.setColor(QPalette::Base, background);
    code.setColor(QPalette::Window, background);
    code.setColor(QPalette::Text, codeInk);
    code.setColor(QPalette::Highlight, Style::color(Style::Color::blue, contentDark));
    code.setColor(QPalette::HighlightedText, Qt::white);
    m_codeEditor->setPalette(code);
    m_codeEditor->viewport()->setPalette(code);
}

void SignatureEditorDetailView::renderThemeMenu()
{
    if (m_menuTheme == m_state.previewTheme)
        return;
    m_menuTheme = m_state.previewTheme;
    const bool dark = m_systemColorScheme == ColorScheme::dark;
    m_themeButton->setIcon(Symbols::icon(symbolName(m_state.previewTheme), Style::color(Style::Color::secondary, dark)));
    const QList<QAction*> actions = m_themeMenu->actions();
    for (QAction* action : actions) {
        auto* widgetAction = static_cast<QWidgetAction*>(action);
        auto* row = static_cast<ThemeMenuRow*>(widgetAction->defaultWidget());
        row->setCurrent(action->data().toString() == rawValue(m_state.previewTheme), dark);
    }
}

void SignatureEditorDetailView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Coming on screen loads; a window coming back from the desktop doesn't.
    if (!event->spontaneous())
        loadSignature();
}

void SignatureEditorDetailView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The desktop's appearance reaches the editor as a change of the application's palette.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) && m_saveButton) {
        const ColorScheme system = Style::isDark(palette()) ? ColorScheme::dark : ColorScheme::light;
        if (system != m_systemColorScheme) {
            m_systemColorScheme = system;
            render();
        }
    }
}

void SignatureEditorDetailView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_toast->placeIn(rect(), toastTopInset);
}

} // namespace veltrin
