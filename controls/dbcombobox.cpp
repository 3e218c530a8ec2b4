#include "controls/dbcombobox.h"

#include "controls/gbk_limit.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWheelEvent>

namespace {

using boundcontrol::Printable;
using boundcontrol::ProbeByte;

// While the list is dropped down its view has the keyboard. What the user
// types there (a character, Enter) closes the list and goes to the box, as
// typed with the list up: the box's key handlers see it and the list's own
// search or the editor takes what they leave. Enter first takes the entry
// the list highlights, as the list's own Enter would.
class DroppedDownKeys : public QObject {
public:
    explicit DroppedDownKeys(QComboBox* box) : QObject(box), box_(box) { box->view()->installEventFilter(this); }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const QString text = key->text();
        const bool typed = !text.isEmpty() && text.at(0).isPrint() && text != QStringLiteral(" ");
        if (!enter && !typed) {
            return false;  // moving in the list, Escape, Space
        }
        const QModelIndex highlighted = box_->view()->currentIndex();
        box_->hidePopup();
        QPointer<QComboBox> box = box_;
        ui::Guarded([&] {
            if (enter && highlighted.isValid() && highlighted.row() != box->currentIndex()) {
                box->setCurrentIndex(highlighted.row());
                emit box->activated(highlighted.row());
            }
            if (box) {
                QKeyEvent again(QEvent::KeyPress, key->key(), key->modifiers(), text, key->isAutoRepeat());
                QCoreApplication::sendEvent(box, &again);
            }
        });
        return true;
    }

private:
    QComboBox* box_;
};

// Lets the free-text editor's text change by a drop or by its context menu
// only once the dataset edits (`begin` returns true).
class EditorGate : public QObject {
public:
    EditorGate(QLineEdit* editor, std::function<bool()> begin, std::function<void()> changed)
        : QObject(editor), editor_(editor), begin_(std::move(begin)), changed_(std::move(changed))
    {
        editor->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::ContextMenu) {
            const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
            ui::Guarded([&] {
                boundcontrol::ShowEditMenu(*editor_, at, [this](const QString& command) {
                    if (begin_()) {
                        boundcontrol::RunEditCommand(*editor_, command);
                        changed_();
                    }
                });
            });
            return true;
        }
        if (event->type() != QEvent::Drop) {
            return false;
        }
        bool open = false;
        ui::Guarded([&] { open = begin_(); });
        if (!open) {
            event->ignore();
        }
        return !open;
    }

private:
    QLineEdit* editor_;
    std::function<bool()> begin_;
    std::function<void()> changed_;
};

// Draws the entries of a dropped-down list at a fixed height.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(QObject* parent, int height) : QStyledItemDelegate(parent), height_(height) {}
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

private:
    int height_;
};

}  // namespace

void TDBComboBox::SetItemHeight(int pixels)
{
    itemHeight_ = pixels;
    if (popup_ != nullptr) {
        setItemDelegate(new FixedHeightDelegate(this, pixels));
    }
}

// The list's view and the frame around it are made when the list first drops
// down, not with the box: a window holds many boxes and most are never
// opened, and making a view costs more than the rest of the box together.
void TDBComboBox::PreparePopup()
{
    if (popup_ != nullptr) {
        return;
    }
    popup_ = view();
    if (itemHeight_ > 0) {
        setItemDelegate(new FixedHeightDelegate(this, itemHeight_));
    }
    new DroppedDownKeys(this);
}

TDBComboBox::TDBComboBox(QWidget* parent, TComboBoxStyle style)
    : QComboBox(ui::WithApplication(parent)),
      link_([this] { DataChanged(); }, [this] { UpdateWritable(); }, [this] { UpdateData(); }),
      style_(style)
{
    setInsertPolicy(QComboBox::NoInsert);
    setFocusPolicy(Qt::StrongFocus);
    ui::Events(this).ControlExit = [this](QWidget*) { Leave(); };
    ui::Connect(this, &QComboBox::activated, this, [this] {
        if (!quiet_) {
            UserChanged();
        }
    });
    SetStyle(style);
}

TDBComboBox::~TDBComboBox() = default;

void TDBComboBox::SetDataSource(TDataSource* source)
{
    link_.SetDataSource(source);
    DataChanged();
}

void TDBComboBox::SetDataField(std::string name)
{
    link_.SetFieldName(std::move(name));
    DataChanged();
}

void TDBComboBox::SetReadOnly(bool readOnly)
{
    link_.SetReadOnly(readOnly);
    UpdateWritable();
}

void TDBComboBox::SetStyle(TComboBoxStyle style)
{
    style_ = style;
    const bool editable = style == csDropDown;
    if (editable && lineEdit() == nullptr) {
        // What setEditable(true) does, but for the popup it makes at once:
        // the list is made when it first drops down.
        auto* editor = new QLineEdit(this);
        editor->setPalette(palette());
        setLineEdit(editor);
    } else if (!editable && isEditable()) {
        setEditable(false);
    }
    SetUpEditor();
    DataChanged();
}

void TDBComboBox::SetUpEditor()
{
    QLineEdit* editor = lineEdit();
    if (editor == nullptr || editor->property("ui.dbcombo").toBool()) {
        return;
    }
    editor->setProperty("ui.dbcombo", true);
    setCompleter(nullptr);
    ui::Connect(editor, &QLineEdit::textEdited, this, [this] {
        if (!quiet_) {
            UserChanged();
        }
    });
    // The combo box keeps the focus and hands its keys to the editor; a key
    // sent to the editor itself reaches the window's handlers all the same.
    ui::Events(this).Attach(editor);
    new EditorGate(
        editor, [this, editor] { return editor->isEnabled() && BeginChange() && !editor->isReadOnly(); },
        [this] { UserChanged(); });
}

bool TDBComboBox::BeginChange()
{
    if (Field() == nullptr) {
        return true;
    }
    return link_.CanModify() && link_.Edit();
}

void TDBComboBox::UserChanged()
{
    link_.MarkModified();
    if (OnChange) {
        OnChange(this);
    }
}

void TDBComboBox::ClearItems()
{
    quiet_ = true;
    const QString shown = currentText();
    clear();
    // The entries change what can be chosen, not what is shown.
    if (style_ == csDropDown && currentText() != shown) {
        const GbkWidthLimit::ProgramText whole(lineEdit());
        setEditText(shown);
    }
    quiet_ = false;
}

void TDBComboBox::AddItem(const QString& text)
{
    quiet_ = true;
    const QString shown = currentText();
    const int index = currentIndex();
    addItem(text);
    if (style_ == csDropDownList) {
        setCurrentIndex(index);  // adding does not choose
    } else if (currentText() != shown) {
        const GbkWidthLimit::ProgramText whole(lineEdit());
        setEditText(shown);
    }
    quiet_ = false;
}

int TDBComboBox::IndexOf(const QString& text) const
{
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(text, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

void TDBComboBox::SetItemIndex(int index)
{
    quiet_ = true;
    const GbkWidthLimit::ProgramText whole(lineEdit());
    setCurrentIndex(index);
    quiet_ = false;
}

QString TDBComboBox::Text() const
{
    if (style_ == csDropDownList) {
        return currentIndex() >= 0 ? itemText(currentIndex()) : QString();
    }
    return currentText();
}

void TDBComboBox::SetText(const QString& text)
{
    quiet_ = true;
    const GbkWidthLimit::ProgramText whole(lineEdit());
    if (style_ == csDropDownList) {
        setCurrentIndex(IndexOf(text));
    } else if (text != currentText()) {
        setEditText(text);
    }
    quiet_ = false;
}

void TDBComboBox::DataChanged()
{
    // While the list is down the user is choosing; the choice is shown then.
    if (popup_ != nullptr && popup_->isVisible()) {
        return;
    }
    TField* field = Field();
    SetText(field != nullptr ? QString::fromStdString(field->Text()) : QString());
    if (QLineEdit* editor = lineEdit()) {
        boundcontrol::LimitTextWidth(*editor, boundcontrol::TextWidthLimit(field));
    }
    UpdateWritable();
}

void TDBComboBox::UpdateWritable()
{
    if (QLineEdit* editor = lineEdit()) {
        const bool writable = Field() == nullptr || (link_.CanModify() && (link_.Editing() || focused_));
        editor->setReadOnly(!writable);
    }
}

void TDBComboBox::UpdateData()
{
    if (TField* field = Field()) {
        field->SetText(Text().toStdString());
    }
}

void TDBComboBox::Leave()
{
    try {
        link_.UpdateRecord();
    } catch (...) {
        if (QLineEdit* editor = lineEdit()) {
            editor->selectAll();
        }
        setFocus();
        throw;
    }
    focused_ = false;
    UpdateWritable();
}

bool TDBComboBox::event(QEvent* event)
{
    bool result = false;
    if (!ui::Guarded([&] { result = QComboBox::event(event); })) {
        return true;
    }
    return result;
}

void TDBComboBox::keyPressEvent(QKeyEvent* event)
{
    const int code = ui::VirtualKey(*event);
    QLineEdit* editor = lineEdit();
    if (code == ui::VK_ESCAPE) {
        link_.Reset();
        if (editor != nullptr) {
            editor->selectAll();
        }
        return;
    }
    // Keys that change the text or the choice put the dataset into edit
    // state before the list or its editor sees them.
    bool changing = code == ui::VK_UP || code == ui::VK_DOWN;
    if (editor != nullptr) {
        changing = changing || boundcontrol::IsChangeKey(*event);
    } else {
        changing = changing || code == ui::VK_PRIOR || code == ui::VK_NEXT || code == ui::VK_HOME ||
                   code == ui::VK_END;
    }
    for (QChar c : event->text()) {
        if (Printable(c)) {
            if (Field() != nullptr && !Field()->IsValidChar(ProbeByte(c))) {
                ui::Beep();
                return;
            }
            changing = true;
        } else if (editor != nullptr && (c.unicode() == 8 || c.unicode() == 22 || c.unicode() == 24)) {
            changing = true;
        }
    }
    if (changing && !BeginChange()) {
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TDBComboBox::inputMethodEvent(QInputMethodEvent* event)
{
    // Composing over a selection removes it at once: that is a change.
    if (event->commitString().isEmpty() && !event->preeditString().isEmpty() && lineEdit() != nullptr &&
        lineEdit()->hasSelectedText() && !BeginChange()) {
        return;
    }
    if (!event->commitString().isEmpty()) {
        for (QChar c : event->commitString()) {
            if (Field() != nullptr && !Field()->IsValidChar(ProbeByte(c))) {
                ui::Beep();
                return;
            }
        }
        if (!BeginChange()) {
            return;
        }
    }
    QComboBox::inputMethodEvent(event);
}

void TDBComboBox::wheelEvent(QWheelEvent* event)
{
    // The wheel never changes a bound choice.
    event->ignore();
}

void TDBComboBox::showPopup()
{
    if (!BeginChange()) {
        return;
    }
    PreparePopup();
    QComboBox::showPopup();
}

void TDBComboBox::focusInEvent(QFocusEvent* event)
{
    focused_ = true;
    UpdateWritable();
    QComboBox::focusInEvent(event);
}
