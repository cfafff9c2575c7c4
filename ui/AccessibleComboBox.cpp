#include "ui/AccessibleComboBox.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace k72 {
namespace {

class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return Combo()->accessibleName();
        }
        if (t == QAccessible::Value) {
            return Combo()->isEditable() && Combo()->lineEdit() != nullptr ? Combo()->lineEdit()->text()
                                                                           : Combo()->currentText();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = Combo()->view() != nullptr && Combo()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& actionName) override {
        if (actionName == showMenuAction() || actionName == pressAction()) {
            Combo()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

// Asked first with the object's own class: a combo box (of any class) that has a name of its own.
QAccessibleInterface* NamedComboFactory(const QString& className, QObject* object) {
    auto* combo = qobject_cast<QComboBox*>(object);
    if (combo == nullptr || className != QLatin1String(object->metaObject()->className()) ||
        combo->accessibleName().isEmpty()) {
        return nullptr;
    }
    return new NamedComboAccessible(combo);
}

} // namespace

void InstallAccessibleComboNames() {
    static const bool installed = [] {
        QAccessible::installFactory(NamedComboFactory);
        return true;
    }();
    static_cast<void>(installed);
}

} // namespace k72
