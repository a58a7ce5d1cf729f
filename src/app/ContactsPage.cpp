#include "app/ContactsPage.h"

#include "app/SpeechOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {

template <typename W> W* Named(W* widget, const char* name, const QString& accessibleName)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(accessibleName);
    return widget;
}

} // namespace

ContactsPage::ContactsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet3"));
    m_model = new ContactsModel(this);
    m_model->setObjectName(QStringLiteral("ContactsModel"));
    m_proxy = new ContactsSortProxy(this);
    m_proxy->setObjectName(QStringLiteral("ContactsProxy"));
    m_proxy->setSortRole(ContactsModel::SortRole);
    m_proxy->setFilterColumns({ContactsModel::Account, ContactsModel::Nickname});
    m_proxy->setSourceModel(m_model);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    m_filter = Named(new QLineEdit(this), "ContactsFilter", QStringLiteral("筛选联系人"));
    m_filter->setPlaceholderText(QStringLiteral("筛选（账号或昵称）"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);

    m_view = Named(new QTableView(this), "ContactsView", QStringLiteral("联系人列表"));
    m_view->setModel(m_proxy);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(ContactsModel::LastSeen, Qt::DescendingOrder);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(18);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->setColumnWidth(ContactsModel::Account, 96);
    m_view->setColumnWidth(ContactsModel::Nickname, 56);
    m_view->setColumnWidth(ContactsModel::Messages, 42);
    m_view->setTabKeyNavigation(false);
    layout->addWidget(m_view, 1);

    auto* panel = new QGroupBox(QStringLiteral("所选联系人"), this);
    m_panel = Named(panel, "ContactPanel", QStringLiteral("所选联系人"));
    auto* grid = new QGridLayout(panel);
    grid->setVerticalSpacing(2);
    grid->setContentsMargins(6, 4, 6, 4);

    auto* aliasLabel = new QLabel(QStringLiteral("朗读名:"), panel);
    grid->addWidget(aliasLabel, 0, 0);
    m_alias = Named(new QLineEdit(panel), "ContactAlias", QStringLiteral("朗读名"));
    m_alias->setPlaceholderText(QStringLiteral("空：朗读昵称"));
    m_alias->setMaxLength(200);
    aliasLabel->setBuddy(m_alias);
    grid->addWidget(m_alias, 0, 1, 1, 3);

    m_mute =
        Named(new QCheckBox(QStringLiteral("不朗读此联系人"), panel), "ContactMute", QStringLiteral("不朗读此联系人"));
    grid->addWidget(m_mute, 1, 0, 1, 2);
    m_ownVoice = Named(new QCheckBox(QStringLiteral("使用自己的声音"), panel), "ContactOwnVoice",
                       QStringLiteral("使用自己的声音"));
    grid->addWidget(m_ownVoice, 1, 2, 1, 2);

    auto* voiceLabel = new QLabel(QStringLiteral("引擎:"), panel);
    grid->addWidget(voiceLabel, 2, 0);
    m_voice = Named(new QComboBox(panel), "ContactVoice", QStringLiteral("联系人的引擎"));
    m_voice->setEditable(false);
    m_voice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_voice->setMinimumContentsLength(10);
    voiceLabel->setBuddy(m_voice);
    grid->addWidget(m_voice, 2, 1, 1, 3);

    auto slider = [panel](const char* name, const QString& accessible, int minimum, int maximum) {
        auto* s = Named(new QSlider(Qt::Horizontal, panel), name, accessible);
        s->setRange(minimum, maximum);
        s->setPageStep(minimum < 0 ? 1 : 10);
        return s;
    };
    auto value = [panel](const char* name) {
        auto* label = new QLabel(panel);
        label->setObjectName(QString::fromLatin1(name));
        label->setMinimumWidth(22);
        return label;
    };
    grid->addWidget(new QLabel(QStringLiteral("语速:"), panel), 3, 0);
    m_rate = slider("ContactRate", QStringLiteral("联系人的语速"), -10, 10);
    grid->addWidget(m_rate, 3, 1);
    m_rateLabel = value("ContactRateLabel");
    grid->addWidget(m_rateLabel, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("音量:"), panel), 4, 0);
    m_volume = slider("ContactVolume", QStringLiteral("联系人的音量"), 0, 100);
    grid->addWidget(m_volume, 4, 1);
    m_volumeLabel = value("ContactVolumeLabel");
    grid->addWidget(m_volumeLabel, 4, 2);
    m_defaults = Named(new QPushButton(QStringLiteral("默认"), panel), "ContactDefault",
                       QStringLiteral("联系人的语速和音量恢复默认"));
    m_defaults->setFixedWidth(44);
    grid->addWidget(m_defaults, 3, 3, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    layout->addWidget(panel);

    setTabOrder(m_filter, m_view);
    setTabOrder(m_view, m_alias);
    setTabOrder(m_alias, m_mute);
    setTabOrder(m_mute, m_ownVoice);
    setTabOrder(m_ownVoice, m_voice);
    setTabOrder(m_voice, m_rate);
    setTabOrder(m_rate, m_volume);
    setTabOrder(m_volume, m_defaults);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        const int shown = m_shownRow;
        m_proxy->setFilterText(text);
        // The view may hand the selection to a neighbour of a contact the filter hides; nothing
        // hidden stays in the panel, and nothing else takes its place.
        if (shown >= 0 && !m_proxy->mapFromSource(m_model->index(shown, 0)).isValid()) {
            m_view->selectionModel()->clear();
            showContact(false);
        }
    });
    // Re-sorting as messages arrive keeps the selection; the panel reloads only when the contact
    // changes, so typing in it is never disturbed. A selection that the filter hides empties it.
    const auto follow = [this] { showContact(false); };
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, follow);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, follow);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, follow);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, follow);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, [this] {
        // The header forgets its sort column when the stored contacts are loaded: the latest first.
        m_view->sortByColumn(ContactsModel::LastSeen, Qt::DescendingOrder);
        showContact(true);
    });
    connect(m_alias, &QLineEdit::textChanged, this, &ContactsPage::applyChoices);
    connect(m_mute, &QCheckBox::toggled, this, &ContactsPage::applyChoices);
    connect(m_ownVoice, &QCheckBox::toggled, this, &ContactsPage::applyChoices);
    connect(m_voice, &QComboBox::currentIndexChanged, this, &ContactsPage::applyChoices);
    connect(m_rate, &QSlider::valueChanged, this, &ContactsPage::applyChoices);
    connect(m_volume, &QSlider::valueChanged, this, &ContactsPage::applyChoices);
    connect(m_defaults, &QPushButton::clicked, this, [this] {
        m_rate->setValue(0);
        m_volume->setValue(100);
    });
    showContact(true);
}

void ContactsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_proxy->setLive(true);
}

void ContactsPage::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Nobody sees the list: messages only note their rows until it is shown again.
    m_proxy->setLive(false);
}

void ContactsPage::setVoiceNames(const QStringList& names)
{
    m_voiceNames = names;
    const QSignalBlocker block(m_voice);
    m_voice->clear();
    m_voice->addItems(names);
    showContact(true);
}

int ContactsPage::currentRow() const
{
    // The selection, not the current index: a row the filter hides leaves the selection but may
    // hand the current index to a neighbour.
    const QModelIndexList rows = m_view->selectionModel()->selectedRows();
    if (rows.isEmpty() || !rows.first().isValid())
        return -1;
    return m_proxy->mapToSource(rows.first()).row();
}

void ContactsPage::showContact(bool force)
{
    const int row = currentRow();
    if (row == m_shownRow && !force)
        return;
    m_shownRow = row;
    m_loading = true;
    const settings::Contact c = row >= 0 ? m_model->book().at(static_cast<std::size_t>(row)) : settings::Contact{};
    m_panel->setEnabled(row >= 0);
    m_alias->setText(QString::fromStdString(c.alias));
    m_mute->setChecked(c.mute);
    m_ownVoice->setChecked(c.ownVoice);
    // The friend profile's rule: a stored engine that names no entry selects the first.
    m_voice->setCurrentIndex(ChooseVoiceIndex(m_voiceNames, c.engine));
    m_rate->setValue(c.rate);
    m_volume->setValue(c.volume);
    m_loading = false;
    updateVoiceControls();
}

void ContactsPage::updateVoiceControls()
{
    const bool own = m_ownVoice->isChecked() && m_panel->isEnabled();
    for (QWidget* w : {static_cast<QWidget*>(m_voice), static_cast<QWidget*>(m_rate), static_cast<QWidget*>(m_volume),
                       static_cast<QWidget*>(m_defaults)})
        w->setEnabled(own);
    m_rateLabel->setText(QString::number(m_rate->value()));
    m_volumeLabel->setText(QString::number(m_volume->value()));
}

void ContactsPage::applyChoices()
{
    updateVoiceControls();
    const int row = currentRow();
    if (m_loading || row < 0)
        return;
    settings::Contact choices = m_model->book().at(static_cast<std::size_t>(row));
    choices.alias = m_alias->text().toStdString();
    choices.mute = m_mute->isChecked();
    choices.ownVoice = m_ownVoice->isChecked();
    if (m_voice->currentIndex() >= 0)
        choices.engine = m_voice->currentIndex();
    choices.rate = m_rate->value();
    choices.volume = m_volume->value();
    m_model->setChoices(row, choices);
    emit edited();
}

} // namespace quorvel::app
