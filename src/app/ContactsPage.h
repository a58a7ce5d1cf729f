#pragma once
// The tab "联系人": a filter box, the sortable list of contacts and, below it, the selected
// contact's spoken name, mute and own voice.

#include "app/ContactsModel.h"
#include "app/ContactsSortProxy.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTableView;

namespace quorvel::app {

class ContactsPage : public QWidget {
    Q_OBJECT
public:
    explicit ContactsPage(QWidget* parent = nullptr);

    ContactsModel* model() const { return m_model; }
    ContactsSortProxy* proxy() const { return m_proxy; }
    // The engine list, in the order of the friend voice's list.
    void setVoiceNames(const QStringList& names);
    const QStringList& voiceNames() const { return m_voiceNames; }
    // The source row of the selected contact, or -1.
    int currentRow() const;

signals:
    // The user changed a contact's choices.
    void edited();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showContact(bool force);
    void applyChoices();
    void updateVoiceControls();

    ContactsModel* m_model = nullptr;
    ContactsSortProxy* m_proxy = nullptr;
    QStringList m_voiceNames;
    bool m_loading = false;
    int m_shownRow = -2;

    QLineEdit* m_filter = nullptr;
    QTableView* m_view = nullptr;
    QWidget* m_panel = nullptr;
    QLineEdit* m_alias = nullptr;
    QCheckBox* m_mute = nullptr;
    QCheckBox* m_ownVoice = nullptr;
    QComboBox* m_voice = nullptr;
    QSlider *m_rate = nullptr, *m_volume = nullptr;
    QLabel *m_rateLabel = nullptr, *m_volumeLabel = nullptr;
    QPushButton* m_defaults = nullptr;
};

} // namespace quorvel::app
