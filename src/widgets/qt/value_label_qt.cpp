#include "widgets/qt/value_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace {

constexpr char kValueLabelProperty[] = "velmoraValueLabel";

class ValueLabelAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit ValueLabelAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
            case QAccessible::Name:
            case QAccessible::Value:
                return Shown();
            case QAccessible::Description:
                return widget()->accessibleDescription();
            default:
                return QAccessibleWidget::text(kind);
        }
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    // Read-only text: no selection, no cursor.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override { return Shown().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(Shown().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

  private:
    QString Shown() const { return static_cast<const QLabel*>(widget())->text(); }
};

QAccessibleInterface* ValueLabelFactory(const QString& key, QObject* object) {
    if (key == QLatin1String("QLabel") && object->property(kValueLabelProperty).toBool()) {
        return new ValueLabelAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

}  // namespace

void MakeValueLabel(QLabel* label, const QString& description) {
    static const bool installed = [] {
        QAccessible::installFactory(ValueLabelFactory);
        return true;
    }();
    (void)installed;
    label->setProperty(kValueLabelProperty, true);
    // An interface made for it as a plain label before now is dropped, so
    // that the next one asked for is this kind.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    label->setAccessibleDescription(description);
}

void ValueLabelChanged(QLabel* label) {
    if (!label->property(kValueLabelProperty).toBool()) {
        return;
    }
    QAccessibleEvent named(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
}
