#include "controls/dateedit.h"

#include "controls/colors.h"
#include "controls/mask_edit.h"
#include "data/dataset/locale_settings.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QScreen>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>

#include <stdexcept>

namespace {

QDate Today()
{
    const hisdb::DateTime today = dataset::locale::Today();
    return {today.year, today.month, today.day};
}

QDate ToQDate(const hisdb::DateTime& value)
{
    return {value.year, value.month, value.day};
}

bool IsNullDate(const hisdb::DateTime& value)
{
    return value.year == 1899 && value.month == 12 && value.day == 30;
}

hisdb::DateTime ToDateTime(const QDate& date)
{
    hisdb::DateTime value;
    if (date.isValid()) {
        value.year = date.year();
        value.month = date.month();
        value.day = date.day();
    }
    return value;
}

QChar DateSeparator()
{
    const std::string& sep = dataset::locale::Current().dateSeparator;
    return sep.empty() ? QLatin1Char('/') : QChar::fromLatin1(sep.front());
}

}  // namespace

// --- TPopupCalendar

TPopupCalendar::TPopupCalendar(TCustomDateEdit& owner)
    : QFrame(&owner, Qt::Popup), owner_(owner), calendar_(new QCalendarWidget(this)), title_(new QLabel(this))
{
    setAttribute(Qt::WA_NoMouseReplay);  // a click on the box's button only closes
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setFocusPolicy(Qt::StrongFocus);
    setFont(owner.font());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, owner.PopupColor().isValid() ? owner.PopupColor() : clBtnFace());
    setPalette(pal);
    setAutoFillBackground(true);

    auto* head = new QHBoxLayout;
    head->setContentsMargins(0, 0, 0, 0);
    head->setSpacing(1);
    const char* const hints[4] = {"Previous Year", "Previous Month", "Next Month", "Next Year"};
    const char* const arrows[4] = {"\u00AB", "\u2039", "\u203A", "\u00BB"};
    for (int i = 0; i < 4; ++i) {
        buttons_[i] = new QToolButton(this);
        buttons_[i]->setText(QString::fromUtf8(arrows[i]));
        buttons_[i]->setToolTip(QString::fromLatin1(hints[i]));
        buttons_[i]->setFocusPolicy(Qt::NoFocus);
        buttons_[i]->setAutoRaise(true);
    }
    title_->setAlignment(Qt::AlignCenter);
    title_->installEventFilter(this);
    head->addWidget(buttons_[0]);
    head->addWidget(buttons_[1]);
    head->addWidget(title_, 1);
    head->addWidget(buttons_[2]);
    head->addWidget(buttons_[3]);
    ui::Connect(buttons_[0], &QToolButton::clicked, this, [this] { MoveYears(-1); });
    ui::Connect(buttons_[1], &QToolButton::clicked, this, [this] { MoveMonths(-1); });
    ui::Connect(buttons_[2], &QToolButton::clicked, this, [this] { MoveMonths(1); });
    ui::Connect(buttons_[3], &QToolButton::clicked, this, [this] { MoveYears(1); });

    calendar_->setNavigationBarVisible(false);
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar_->setFirstDayOfWeek(owner.StartOfWeek());
    for (int day = Qt::Monday; day <= Qt::Sunday; ++day) {
        const auto dow = static_cast<Qt::DayOfWeek>(day);
        QTextCharFormat format = calendar_->weekdayTextFormat(dow);
        format.setForeground(owner.Weekends().count(dow) ? owner.WeekendColor() : clWindowText());
        calendar_->setWeekdayTextFormat(dow, format);
    }
    // Keys are handled here, not by the calendar's own view.
    calendar_->setFocusPolicy(Qt::NoFocus);
    for (QWidget* child : calendar_->findChildren<QWidget*>()) {
        child->setFocusPolicy(Qt::NoFocus);
    }
    ui::Connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate date) {
        SetDate(date);
        owner_.CloseUp(true);
    });
    ui::Connect(calendar_, &QCalendarWidget::currentPageChanged, this, [this] { UpdateTitle(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(head);
    layout->addWidget(calendar_);
}

QDate TPopupCalendar::Date() const
{
    return calendar_->selectedDate();
}

void TPopupCalendar::SetDate(const QDate& date)
{
    calendar_->setSelectedDate(date);
    calendar_->setCurrentPage(date.year(), date.month());
    UpdateTitle();
}

QString TPopupCalendar::Title() const
{
    return title_->text();
}

void TPopupCalendar::UpdateTitle()
{
    const QLocale locale;
    title_->setText(locale.monthName(calendar_->monthShown(), QLocale::LongFormat) + QStringLiteral(", ") +
                    QString::number(calendar_->yearShown()));
}

void TPopupCalendar::MoveMonths(int months)
{
    // QDate takes the month's last day when the day does not exist there.
    SetDate(Date().addMonths(months));
}

void TPopupCalendar::MoveYears(int years)
{
    SetDate(Date().addYears(years));
}

void TPopupCalendar::keyPressEvent(QKeyEvent* event)
{
    ui::Guarded([&] {
        // The box's click key acts on its button as before: the click closes the calendar.
        const QKeyCombination clickKey = owner_.ClickKey();
        if (owner_.ButtonWidth() > 0 && event->key() == clickKey.key() &&
            (event->modifiers() & ~Qt::KeypadModifier) == clickKey.keyboardModifiers()) {
            owner_.DoClick();
            return;
        }
        const QDate date = Date();
        const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
        const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
        switch (event->key()) {
        case Qt::Key_Left:
            SetDate(date.addDays(-1));
            return;
        case Qt::Key_Right:
            SetDate(date.addDays(1));
            return;
        case Qt::Key_Minus:
            if (keypad) {
                SetDate(date.addDays(-1));
            }
            return;
        case Qt::Key_Plus:
            if (keypad) {
                SetDate(date.addDays(1));
            }
            return;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            // A week, only within the shown month.
            const QDate next = date.addDays(event->key() == Qt::Key_Up ? -7 : 7);
            if (next.month() == calendar_->monthShown() && next.year() == calendar_->yearShown()) {
                SetDate(next);
            }
            return;
        }
        case Qt::Key_PageUp:
            ctrl ? MoveYears(-1) : MoveMonths(-1);
            return;
        case Qt::Key_PageDown:
            ctrl ? MoveYears(1) : MoveMonths(1);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            owner_.CloseUp(true);
            return;
        case Qt::Key_Escape:
            owner_.CloseUp(false);
            return;
        default:
            break;
        }
        if (event->text() == QLatin1String("t") || event->text() == QLatin1String("T")) {
            SetDate(Today());
        }
    });
    event->accept();
}

bool TPopupCalendar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == title_ && event->type() == QEvent::MouseButtonDblClick) {
        ui::Guarded([&] { SetDate(Today()); });
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

// --- TCustomDateEdit

TCustomDateEdit::TCustomDateEdit(QWidget* parent) : TCustomComboEdit(parent)
{
    SetNumGlyphs(2);
    // Text reaches the box only through its mask (keys and the edit menu).
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    popupColor_ = clBtnFace();
    shortDateFormat_ = QString::fromStdString(dataset::locale::Current().shortDateFormat);
    separator_ = DateSeparator();
    BuildFormat();
    setText(EmptyText());
    ui::Events(this).ControlExit = [this](QWidget*) {
        if (checkOnExit_) {
            CheckValidDate();
        }
    };
}

TCustomDateEdit::~TCustomDateEdit() = default;

void TCustomDateEdit::BuildFormat()
{
    const QString shortDate = shortDateFormat_.toUpper();
    QChar order = QLatin1Char('D');
    for (QChar c : shortDate) {
        if (c == QLatin1Char('D') || c == QLatin1Char('M') || c == QLatin1Char('Y') || c == QLatin1Char('E')) {
            order = c == QLatin1Char('E') ? QLatin1Char('Y') : c;
            break;
        }
    }
    const bool fourDigits =
        yearDigits_ == dyFour || (yearDigits_ == dyDefault && shortDate.contains(QLatin1String("YYYY")));
    const QString year = fourDigits ? QStringLiteral("YYYY") : QStringLiteral("YY");
    QString format;
    if (order == QLatin1Char('Y')) {
        format = year + QStringLiteral("/MM/DD");
    } else if (order == QLatin1Char('M')) {
        format = QStringLiteral("MM/DD/") + year;
    } else {
        format = QStringLiteral("DD/MM/") + year;
    }
    format_ = format.replace(QLatin1Char('/'), separator_);
    // The separator as an escaped literal: the mask keeps the box's own settings.
    const QString mask = EditMaskText().replace(QLatin1Char('/'), QStringLiteral("\\") + separator_);
    mask_ = std::make_unique<MaskEdit>(*this, dataset::EditMask(mask.toStdString()));
}

QString TCustomDateEdit::EditMaskText() const
{
    const bool fourDigits = format_.count(QLatin1Char('Y')) == 4;
    QString mask;
    if (!fourDigits) {
        mask = QStringLiteral("!99/99/99;1;");
    } else if (format_.startsWith(QLatin1Char('Y'))) {
        mask = QStringLiteral("!9999/99/99;1;");
    } else {
        mask = QStringLiteral("!99/99/9999;1;");
    }
    return mask + QChar::fromLatin1(blanksChar_);
}

void TCustomDateEdit::SetYearDigits(TYearDigits digits)
{
    const QDate date = TextDate();
    yearDigits_ = digits;
    BuildFormat();
    ShowDate(date);
}

void TCustomDateEdit::SetBlanksChar(char blank)
{
    const QDate date = TextDate();
    blanksChar_ = blank;
    BuildFormat();
    ShowDate(date);
}

QString TCustomDateEdit::FormatDate(const QDate& date) const
{
    if (!date.isValid()) {
        return {};
    }
    QString text = format_;
    auto put = [&](QChar letter, int value) {
        const int start = text.indexOf(letter);
        if (start < 0) {
            return;
        }
        const int width = static_cast<int>(text.count(letter));
        text.replace(start, width, QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0')).right(width));
    };
    put(QLatin1Char('Y'), date.year());
    put(QLatin1Char('M'), date.month());
    put(QLatin1Char('D'), date.day());
    return text;
}

QString TCustomDateEdit::EmptyText() const
{
    QString text = format_;
    for (QChar& c : text) {
        if (c == QLatin1Char('Y') || c == QLatin1Char('M') || c == QLatin1Char('D')) {
            c = QChar::fromLatin1(blanksChar_);
        }
    }
    return text;
}

QDate TCustomDateEdit::TextDate() const
{
    // The box's format as a short date format: the letters of the locale's
    // routine, '/' for the separator. The box reads dates as the list window does.
    std::string format;
    for (QChar c : format_) {
        if (c == QLatin1Char('Y')) {
            format += 'y';
        } else if (c == QLatin1Char('M')) {
            format += 'M';
        } else if (c == QLatin1Char('D')) {
            format += 'd';
        } else {
            format += '/';
        }
    }
    QString text = this->text();
    if (blanksChar_ != ' ' && QChar::fromLatin1(blanksChar_) != separator_) {
        text.replace(QChar::fromLatin1(blanksChar_), QLatin1Char(' '));
    }
    hisdb::DateTime date;
    if (!dataset::locale::ParseDate(text.toStdString(), format, QString(separator_).toStdString(), date)) {
        return {};
    }
    return ToQDate(date);
}

hisdb::DateTime TCustomDateEdit::Date() const
{
    QDate date = TextDate();
    if (!date.isValid() && defaultToday_) {
        date = Today();
    }
    return ToDateTime(date);
}

void TCustomDateEdit::ShowDate(const QDate& date)
{
    setText(date.isValid() ? FormatDate(date) : EmptyText());
}

void TCustomDateEdit::SetDate(const hisdb::DateTime& value)
{
    QDate date;
    if (!IsNullDate(value) && dataset::locale::IsValidDate(value.year, value.month, value.day)) {
        date = ToQDate(value);
    }
    if (!date.isValid() && defaultToday_) {
        date = Today();
    }
    const QDate before = TextDate();
    ShowDate(date);
    setModified(before != date);
}

void TCustomDateEdit::CheckValidDate()
{
    const QString text = this->text();
    bool blank = true;
    for (QChar c : text) {
        if (c != QLatin1Char(' ') && c != QChar::fromLatin1(blanksChar_) && c != separator_) {
            blank = false;
        }
    }
    if (blank || TextDate().isValid()) {
        return;
    }
    selectAll();
    setFocus(Qt::OtherFocusReason);
    throw std::runtime_error("''" + text.toStdString() + "'' is not a valid date");
}

void TCustomDateEdit::showEvent(QShowEvent* event)
{
    TCustomComboEdit::showEvent(event);
    if (!created_) {
        created_ = true;
        if (SetsOwnDate()) {
            ui::Guarded([&] {
                SetDate(Date());
                setModified(false);
            });
        }
    }
}

// --- the calendar

void TCustomDateEdit::ButtonClick()
{
    TCustomComboEdit::ButtonClick();
    if (PopupVisible()) {
        CloseUp(false);
    } else {
        DropDown();
    }
}

bool TCustomDateEdit::PopupVisible() const
{
    return popup_ != nullptr && popup_->isVisible();
}

void TCustomDateEdit::DropDown()
{
    if (popup_ == nullptr) {
        popup_ = new TPopupCalendar(*this);
    }
    const QDate shown = TextDate();
    popup_->SetDate(shown.isValid() ? shown : Today());
    const QSize size = popup_->sizeHint().expandedTo(QSize(180, 120));
    popup_->resize(size);

    // Below the box, right edges aligned; above it when there is no room below.
    const QRect screen = this->screen() != nullptr ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    QPoint pos = mapToGlobal(QPoint(width() - size.width(), height()));
    if (pos.y() + size.height() > screen.bottom() + 1) {
        pos.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
    }
    pos.setX(std::clamp(pos.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
    pos.setY(std::clamp(pos.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    popup_->move(pos);
    popup_->show();
    popup_->setFocus(Qt::PopupFocusReason);
}

void TCustomDateEdit::CloseUp(bool accept)
{
    if (!PopupVisible()) {
        return;
    }
    const QDate date = popup_->Date();
    popup_->hide();
    if (isVisible() && isEnabled()) {
        setFocus(Qt::PopupFocusReason);
    }
    if (accept && date.isValid() && BeginDateChange()) {
        TakeDate(date, true);
    }
}

bool TCustomDateEdit::BeginDateChange()
{
    return !ReadOnly();
}

void TCustomDateEdit::TakeDate(const QDate& date, bool /*fromCalendar*/)
{
    SetDate(ToDateTime(date));
    selectAll();
}

bool TCustomDateEdit::AcceptChar(QChar /*ch*/)
{
    return true;
}

bool TCustomDateEdit::RunEditCommand(const QString& command)
{
    if (!boundcontrol::RunEditCommand(*this, command, mask_.get())) {
        return false;
    }
    setModified(true);
    Q_EMIT textEdited(text());
    return true;
}

void TCustomDateEdit::PaintDefaultGlyph(QPainter& painter, const QRect& rect) const
{
    // A small calendar leaf: a dark head band over a grid of days.
    const QColor ink = isEnabled() ? palette().color(QPalette::ButtonText)
                                   : palette().color(QPalette::Disabled, QPalette::ButtonText);
    const int w = std::min(12, rect.width());
    const int h = std::min(11, rect.height());
    const QRect leaf(rect.left() + (rect.width() - w) / 2, rect.top() + (rect.height() - h) / 2, w, h);
    painter.save();
    painter.setPen(ink);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(leaf.adjusted(0, 0, -1, -1));
    painter.fillRect(QRect(leaf.left(), leaf.top(), leaf.width(), 3), ink);
    for (int y = leaf.top() + 5; y < leaf.bottom() - 1; y += 2) {
        for (int x = leaf.left() + 2; x < leaf.right() - 1; x += 2) {
            painter.drawPoint(x, y);
        }
    }
    painter.restore();
}

void TCustomDateEdit::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
    if (DirectInput() && !(mods & (Qt::ControlModifier | Qt::AltModifier)) && !PopupVisible()) {
        const int key = event->key();
        if (key == Qt::Key_Plus || key == Qt::Key_Minus) {
            event->accept();
            if (keypad && !(mods & Qt::ShiftModifier)) {
                ui::Guarded([&] {
                    if (BeginDateChange()) {
                        const QDate shown = TextDate();
                        const QDate base = shown.isValid() ? shown : Today();
                        TakeDate(base.addDays(key == Qt::Key_Plus ? 1 : -1), false);
                    }
                });
            }
            return;  // the main keyboard's + and - are swallowed
        }
        if (event->text() == QLatin1String("t") || event->text() == QLatin1String("T")) {
            event->accept();
            ui::Guarded([&] {
                if (BeginDateChange()) {
                    TakeDate(Today(), false);
                }
            });
            return;
        }
    }
    if (controls_detail::IsChangeKey(*event)) {
        event->accept();
        if (PopupVisible()) {
            return;
        }
        bool go = false;
        ui::Guarded([&] {
            const QString typed = event->text();
            if (!typed.isEmpty() && typed.front().isPrint() && !AcceptChar(typed.front())) {
                return;
            }
            if (typed != QString(separator_) && mask_->Refuses(*event)) {
                // Refused before the edit begins: nothing changes, the selection included.
                ui::Beep();
                return;
            }
            go = BeginChange(*event);
        });
        if (!go) {
            return;
        }
        if (event->text() == QString(separator_)) {
            // The separator steps over the next literal position.
            const int next = static_cast<int>(text().indexOf(separator_, cursorPosition()));
            if (next >= 0) {
                setCursorPosition(next + 1);
            }
            return;
        }
        bool changed = false;
        mask_->HandleKey(*event, changed);
        if (changed) {
            setModified(true);
            Q_EMIT textEdited(text());
        }
        return;
    }
    TCustomComboEdit::keyPressEvent(event);
}

// --- TDateEdit

TDateEdit::TDateEdit(QWidget* parent) : TCustomDateEdit(parent) {}

// --- TDBDateEdit

TDBDateEdit::TDBDateEdit(QWidget* parent) : TCustomDateEdit(parent)
{
    binding_ = std::make_unique<controls_detail::FieldBinding>(
        *this, controls_detail::FieldBinding::Hooks{
                   [this] { return FieldText(); },
                   [this] { WriteField(); },
                   [this] { EditingChanged(); },
               });
    binding_->Link().SetOnActiveChange([this] {
        UpdateWritable();
        binding_->Show();
    });
    QObject::connect(this, &QLineEdit::textEdited, this, [this] { binding_->MarkModified(); });
    ui::Events(this).ControlExit = [this](QWidget*) {
        if (CheckOnExit()) {
            CheckValidDate();
        }
        binding_->Exit();
    };
    UpdateWritable();
}

TDBDateEdit::~TDBDateEdit()
{
    binding_.reset();
}

void TDBDateEdit::SetDataSource(TDataSource* source)
{
    binding_->Link().SetDataSource(source);
    UpdateWritable();
    binding_->Show();
}

void TDBDateEdit::SetDataField(std::string name)
{
    binding_->Link().SetFieldName(std::move(name));
    UpdateWritable();
    binding_->Show();
}

void TDBDateEdit::SetReadOnly(bool on)
{
    binding_->Link().SetReadOnly(on);
    UpdateWritable();
}

QString TDBDateEdit::FieldText() const
{
    const TField* field = binding_->Link().Field();
    if (field == nullptr || field->IsNull()) {
        return EmptyText();
    }
    return FormatDate(ToQDate(field->AsDateTime()));
}

void TDBDateEdit::WriteField()
{
    TField* field = binding_->Link().Field();
    if (field == nullptr) {
        return;
    }
    QDate date = TextDate();
    if (!date.isValid() && DefaultToday()) {
        date = Today();
    }
    if (!date.isValid()) {
        field->Clear();
        return;
    }
    // The time of day the field held stays.
    hisdb::DateTime value = field->IsNull() ? hisdb::DateTime{} : field->AsDateTime();
    value.year = date.year();
    value.month = date.month();
    value.day = date.day();
    field->SetAsDateTime(value);
}

void TDBDateEdit::EditingChanged()
{
    UpdateWritable();
    TField* field = binding_->Link().Field();
    if (DefaultToday() && binding_->Editing() && field != nullptr && field->IsNull() && binding_->CanModify()) {
        field->SetAsDateTime(dataset::locale::Now());
    }
}

void TDBDateEdit::Reset()
{
    binding_->Reset();
}

bool TDBDateEdit::TextWritable() const
{
    return DirectInput() && binding_->CanModify() && binding_->Editing();
}

bool TDBDateEdit::BeginChange(QKeyEvent& /*event*/)
{
    return binding_->BeginChange() && TextWritable();
}

bool TDBDateEdit::MayChangeText() const
{
    return DirectInput() && binding_->CanModify();
}

bool TDBDateEdit::AcceptChar(QChar ch)
{
    if (ch.isDigit() || ch == Separator()) {
        return true;
    }
    ui::Beep();
    return false;
}

bool TDBDateEdit::BeginDateChange()
{
    return binding_->BeginChange();
}

void TDBDateEdit::TakeDate(const QDate& date, bool fromCalendar)
{
    ShowDate(date);
    binding_->MarkModified();
    if (fromCalendar) {
        binding_->Link().UpdateRecord();
    }
    selectAll();
}
