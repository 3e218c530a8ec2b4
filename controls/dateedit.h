// Date edits: a masked box for a date with a calendar button that drops down
// a month calendar.
//
// Format and mask come from the workstation's short date format when the box
// is created: its first letter among D, M, Y (E counts as Y) gives the order
// (none: day-month-year); four year digits with dyFour, or with dyDefault
// when the format contains "yyyy" (any case), else two. So "yyyy-MM-dd" gives
// "YYYY-MM-DD" and the mask "!9999-99-99;1; ". Every position is an optional
// digit; the separators stay in the text.
//
// Date() reads the text by that format with dataset::locale::ParseDate, the
// reading of typed dates that the list window uses as well: blanks around a
// number are skipped ("2026-1 -05" is 5 January), a blank inside a number is
// no digit, a two-digit year falls in 1950..2049. Text that gives no date
// (empty, blanks and separators only, incomplete, a blank inside a number,
// no real day) reads as today with DefaultToday, else as the null date
// (1899-12-30, the value 0). SetDate() writes a date in the format; the null
// date (or an invalid one) becomes today with DefaultToday, else empties the
// box; the box counts as Modified() when the date shown changed. With
// DefaultToday a free-standing box sets its own date from its text when it is
// first shown, so an empty box starts at today.
//
// Keys (no Ctrl or Alt, DirectInput on, calendar closed): keypad "+"/"-" step
// the shown date (today when none) by a day, "T"/"t" set today, "+" and "-"
// of the main keyboard are swallowed; Alt+Down or the button open the
// calendar. The calendar opens on the box's date (today when none) below the
// box, right edges aligned (above it when there is no room), with the head
// buttons "Previous Year", "Previous Month", "Next Month", "Next Year" and the
// title "MMMM, YYYY"; Left/Right and keypad -/+ move a day, Up/Down a week
// within the shown month, Page Up/Down a month, Ctrl+Page Up/Down a year,
// "T" today; a click on a day or Enter takes the date, Escape, a click
// outside or the click key (a click of the button) closes it.
//
// TDBDateEdit shows its field's date (empty for null), is read-only while the
// dataset browses, starts editing on a digit, backspace, Ctrl+V, Ctrl+X,
// Delete or Shift+Insert and refuses other printable characters (but the date
// separator) with a beep. It writes its field when the focus leaves or the
// record is posted, if the text changed: the date plus the time of day the
// field held, or null for text that gives no date. A date taken from the
// calendar or set by key first puts the dataset into edit state.
#pragma once

#include "controls/buttonedit.h"
#include "platform/engine/engine.h"

#include <QColor>
#include <QDate>
#include <QFrame>

#include <memory>
#include <set>

class MaskEdit;
class QCalendarWidget;
class QLabel;
class QToolButton;
class TCustomDateEdit;

enum TYearDigits { dyDefault, dyFour, dyTwo };
enum TCalendarStyle { csPopup, csDialog };

// The drop-down month calendar of a date edit.
class TPopupCalendar : public QFrame {
public:
    explicit TPopupCalendar(TCustomDateEdit& owner);

    [[nodiscard]] QDate Date() const;
    void SetDate(const QDate& date);
    // "MMMM, YYYY" of the shown month.
    [[nodiscard]] QString Title() const;
    [[nodiscard]] QLabel* TitleLabel() const { return title_; }
    // 0 "Previous Year", 1 "Previous Month", 2 "Next Month", 3 "Next Year".
    [[nodiscard]] QToolButton* HeadButton(int index) const { return buttons_[index]; }
    [[nodiscard]] QCalendarWidget* Calendar() const { return calendar_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MoveMonths(int months);
    void MoveYears(int years);
    void UpdateTitle();

    TCustomDateEdit& owner_;
    QCalendarWidget* calendar_;
    QLabel* title_;
    QToolButton* buttons_[4];
};

class TCustomDateEdit : public TCustomComboEdit {
public:
    explicit TCustomDateEdit(QWidget* parent = nullptr);
    ~TCustomDateEdit() override;

    // The shown date, or the default for text that is no date.
    [[nodiscard]] hisdb::DateTime Date() const;
    void SetDate(const hisdb::DateTime& value);
    // The text parsed by the box's format; a null QDate when it gives no date.
    [[nodiscard]] QDate TextDate() const;
    [[nodiscard]] bool Modified() const { return isModified(); }
    void SetModified(bool on) { setModified(on); }

    [[nodiscard]] bool DefaultToday() const { return defaultToday_; }
    void SetDefaultToday(bool on) { defaultToday_ = on; }
    [[nodiscard]] TYearDigits YearDigits() const { return yearDigits_; }
    void SetYearDigits(TYearDigits digits);
    [[nodiscard]] char BlanksChar() const { return blanksChar_; }
    void SetBlanksChar(char blank);
    [[nodiscard]] bool CheckOnExit() const { return checkOnExit_; }
    void SetCheckOnExit(bool on) { checkOnExit_ = on; }
    [[nodiscard]] TCalendarStyle CalendarStyle() const { return calendarStyle_; }
    void SetCalendarStyle(TCalendarStyle style) { calendarStyle_ = style; }
    [[nodiscard]] Qt::DayOfWeek StartOfWeek() const { return startOfWeek_; }
    void SetStartOfWeek(Qt::DayOfWeek day) { startOfWeek_ = day; }
    [[nodiscard]] const std::set<Qt::DayOfWeek>& Weekends() const { return weekends_; }
    void SetWeekends(std::set<Qt::DayOfWeek> days) { weekends_ = std::move(days); }
    [[nodiscard]] const QColor& WeekendColor() const { return weekendColor_; }
    void SetWeekendColor(const QColor& color) { weekendColor_ = color; }
    [[nodiscard]] const QColor& PopupColor() const { return popupColor_; }
    void SetPopupColor(const QColor& color) { popupColor_ = color; }

    // "YYYY-MM-DD" and the like, with the workstation's separator.
    [[nodiscard]] const QString& DateFormat() const { return format_; }
    [[nodiscard]] QString EditMaskText() const;
    // Formats a date by the box's format ("" for a null QDate).
    [[nodiscard]] QString FormatDate(const QDate& date) const;
    // The date separator the box was made with.
    [[nodiscard]] QChar Separator() const { return separator_; }
    // The text of an empty box: the separators between blanks.
    [[nodiscard]] QString EmptyText() const;

    // The calendar.
    void DropDown();
    void CloseUp(bool accept);
    [[nodiscard]] bool PopupVisible() const;
    [[nodiscard]] TPopupCalendar* Popup() const { return popup_; }

    // Raises "''%s'' is not a valid date" for text that is neither empty nor a date.
    void CheckValidDate();

protected:
    friend class TPopupCalendar;

    void ButtonClick() override;
    void PaintDefaultGlyph(QPainter& painter, const QRect& rect) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // A key or the calendar is about to change the date: false refuses.
    virtual bool BeginDateChange();
    // A date chosen in the calendar or by a key goes into the box.
    virtual void TakeDate(const QDate& date, bool fromCalendar);
    // A free-standing box sets its date from its text when first shown.
    [[nodiscard]] virtual bool SetsOwnDate() const { return true; }
    // Whether a typed character may start a change (the bound box refuses some).
    virtual bool AcceptChar(QChar ch);
    // The edit menu's commands go through the mask.
    bool RunEditCommand(const QString& command) override;
    // Shows a date (null: empty) without the DefaultToday rule.
    void ShowDate(const QDate& date);

private:
    void BuildFormat();

    QString shortDateFormat_;  // the workstation's, when the box was made
    QChar separator_;
    QString format_;
    std::unique_ptr<MaskEdit> mask_;
    TPopupCalendar* popup_ = nullptr;  // a child window of the box
    bool defaultToday_ = false;
    TYearDigits yearDigits_ = dyDefault;
    char blanksChar_ = ' ';
    bool checkOnExit_ = false;
    TCalendarStyle calendarStyle_ = csPopup;
    Qt::DayOfWeek startOfWeek_ = Qt::Monday;
    std::set<Qt::DayOfWeek> weekends_{Qt::Sunday};
    QColor weekendColor_ = QColor(255, 0, 0);
    QColor popupColor_;
    bool created_ = false;
};

class TDateEdit : public TCustomDateEdit {
public:
    explicit TDateEdit(QWidget* parent = nullptr);
};

class TDBDateEdit : public TCustomDateEdit {
public:
    explicit TDBDateEdit(QWidget* parent = nullptr);
    ~TDBDateEdit() override;

    [[nodiscard]] TDataSource* DataSource() const { return binding_->Link().DataSource(); }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] const std::string& DataField() const { return binding_->Link().FieldName(); }
    void SetDataField(std::string name);
    [[nodiscard]] TField* Field() const { return binding_->Link().Field(); }
    [[nodiscard]] bool ReadOnly() const override { return binding_->Link().ReadOnly(); }
    void SetReadOnly(bool on) override;
    // Writes the text into the field now if it was changed.
    void UpdateRecord() { binding_->Link().UpdateRecord(); }

protected:
    void Reset() override;
    [[nodiscard]] bool TextWritable() const override;
    bool BeginChange(QKeyEvent& event) override;
    bool BeginDateChange() override;
    void TakeDate(const QDate& date, bool fromCalendar) override;
    [[nodiscard]] bool SetsOwnDate() const override { return false; }
    bool AcceptChar(QChar ch) override;
    [[nodiscard]] bool MayChangeText() const override;

private:
    [[nodiscard]] QString FieldText() const;
    void WriteField();
    void EditingChanged();

    std::unique_ptr<controls_detail::FieldBinding> binding_;
};
