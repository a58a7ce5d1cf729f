// The contacts tab on the real window: friends appear as traffic arrives, edits in the panel hold
// from the next message, the filter and the sorting, contacts.ini across a restart, keyboard reach.

#include "Support.h"

#include "app/ContactsPage.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

#include <random>

using namespace quorvel;
using namespace quorvel::testing;

namespace {

QStringList Column(const QAbstractItemModel& model, int column)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, column).data().toString();
    return values;
}

} // namespace

class ContactsTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        h = std::make_unique<Harness>();
        h->start();
        page = h->window->contacts();
        view = h->find<QTableView>("ContactsView");
    }
    void cleanup() { h.reset(); }

    void contactsAppearAsTrafficArrives()
    {
        h->capture->deliver(FriendMsgFrom("ann@example.org", "(L)Ann(L)", "one"));
        h->capture->deliver(OwnMsg("mine"));
        h->capture->deliver(FriendUbm("bob@yahoo.example", "two"));
        h->capture->deliver(FriendMsgFrom("ANN@example.org", "Annie", "three"));
        const auto* model = page->model();
        QCOMPARE(model->rowCount(), 2); // own messages are no contact; accounts ignore case
        QCOMPARE(Column(*model, app::ContactsModel::Account),
                 QStringList({QStringLiteral("ann@example.org"), QStringLiteral("bob@yahoo.example")}));
        QCOMPARE(Column(*model, app::ContactsModel::Nickname),
                 QStringList({QStringLiteral("Annie"), QStringLiteral("bob@yahoo.example")}));
        QCOMPARE(Column(*model, app::ContactsModel::Messages), QStringList({"2", "1"}));
        const QString seen =
            model->index(0, app::ContactsModel::LastSeen).data(app::ContactsModel::SortRole).toString();
        QVERIFY2(QDateTime::fromString(seen, Qt::ISODate).secsTo(QDateTime::currentDateTime()) < 60, qPrintable(seen));
    }

    void editsTakeEffectOnTheNextMessage_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("mute");
        QTest::addColumn<bool>("ownVoice");
        QTest::addColumn<QString>("spoken"); // empty: nothing spoken
        QTest::addColumn<int>("voice");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("volume");
        // The friend profile: voice 1, rate 3, volume 80; the panel's own voice: 2, -5, 40.
        QTest::newRow("nothing") << "" << false << false << "Ann 说：Hi" << 1 << 3 << 80;
        QTest::newRow("alias") << "安娜" << false << false << "安娜 说：Hi" << 1 << 3 << 80;
        QTest::newRow("blank alias") << "  " << false << false << "Ann 说：Hi" << 1 << 3 << 80;
        QTest::newRow("own voice") << "" << false << true << "Ann 说：Hi" << 2 << -5 << 40;
        QTest::newRow("alias, own voice") << "安娜" << false << true << "安娜 说：Hi" << 2 << -5 << 40;
        QTest::newRow("muted") << "安娜" << true << true << "" << 0 << 0 << 0;
    }
    void editsTakeEffectOnTheNextMessage()
    {
        QFETCH(QString, alias);
        QFETCH(bool, mute);
        QFETCH(bool, ownVoice);
        QFETCH(QString, spoken);
        QFETCH(int, voice);
        QFETCH(int, rate);
        QFETCH(int, volume);
        h->find<QComboBox>("CBVoice1")->setCurrentIndex(1);
        h->find<QSlider>("TRate1")->setValue(3);
        h->find<QSlider>("TVolume1")->setValue(80);
        h->capture->deliver(FriendMsg("Ann", "Hi"));
        QCOMPARE(h->speech->speakCalls.size(), 1);

        showList();
        view->selectRow(0);
        h->find<QLineEdit>("ContactAlias")->insert(alias);
        h->find<QCheckBox>("ContactMute")->setChecked(mute);
        h->find<QCheckBox>("ContactOwnVoice")->setChecked(ownVoice);
        h->find<QComboBox>("ContactVoice")->setCurrentIndex(2);
        h->find<QSlider>("ContactRate")->setValue(-5);
        h->find<QSlider>("ContactVolume")->setValue(40);

        h->capture->deliver(FriendMsg("Ann", "Hi"));
        // The log keeps the nickname, muted or not.
        QVERIFY(h->window->log()->toPlainText().count(QStringLiteral("Ann 说")) == 2);
        if (spoken.isEmpty()) {
            QCOMPARE(h->speech->speakCalls.size(), 1);
            return;
        }
        QCOMPARE(h->speech->speakCalls.size(), 2);
        const SpeakCall& call = h->speech->speakCalls.last();
        QCOMPARE(call.channel, speech::Channel::Friend);
        QCOMPARE(call.text, spoken);
        QCOMPARE(call.voiceIndex, voice);
        QCOMPARE(call.rate, rate);
        QCOMPARE(call.volume, volume);
        // Another friend keeps the friend voice.
        h->capture->deliver(FriendMsgFrom("bob@example.org", "Bob", "Yo"));
        QCOMPARE(h->speech->speakCalls.last().text, QStringLiteral("Bob 说：Yo"));
        QCOMPARE(h->speech->speakCalls.last().voiceIndex, 1);
    }

    void filterAndSorting()
    {
        // The list re-sorts as messages arrive only while it can be seen.
        showList();
        h->capture->deliver(FriendMsgFrom("carol@example.org", "Carol", "1"));
        for (int i = 0; i < 3; ++i)
            h->capture->deliver(FriendMsgFrom("ann@example.org", "小安", "2"));
        h->capture->deliver(FriendMsgFrom("bob@example.org", "Bob", "3"));
        h->capture->deliver(FriendMsgFrom("bob@example.org", "Bob", "3"));
        QAbstractItemModel* shown = view->model();

        view->horizontalHeader()->setSortIndicator(app::ContactsModel::Messages, Qt::DescendingOrder);
        QCOMPARE(Column(*shown, app::ContactsModel::Messages), QStringList({"3", "2", "1"}));
        view->horizontalHeader()->setSortIndicator(app::ContactsModel::Account, Qt::AscendingOrder);
        QCOMPARE(Column(*shown, app::ContactsModel::Nickname),
                 QStringList({QStringLiteral("小安"), QStringLiteral("Bob"), QStringLiteral("Carol")}));
        // A new message re-sorts a sorted count column.
        view->horizontalHeader()->setSortIndicator(app::ContactsModel::Messages, Qt::AscendingOrder);
        h->capture->deliver(FriendMsgFrom("carol@example.org", "Carol", "1"));
        h->capture->deliver(FriendMsgFrom("carol@example.org", "Carol", "1"));
        h->capture->deliver(FriendMsgFrom("carol@example.org", "Carol", "1"));
        QTRY_COMPARE(Column(*shown, app::ContactsModel::Account).last(), QStringLiteral("carol@example.org"));

        auto* filter = h->find<QLineEdit>("ContactsFilter");
        QTest::keyClicks(filter, QStringLiteral("BOB"));
        QCOMPARE(Column(*shown, app::ContactsModel::Account), QStringList({QStringLiteral("bob@example.org")}));
        filter->setText(QStringLiteral("小"));
        QCOMPARE(Column(*shown, app::ContactsModel::Account), QStringList({QStringLiteral("ann@example.org")}));
        // A contact that arrives while filtered shows only when it matches.
        h->capture->deliver(FriendMsgFrom("dave@example.org", "小戴", "4"));
        h->capture->deliver(FriendMsgFrom("eve@example.org", "Eve", "5"));
        QTRY_COMPARE(shown->rowCount(), 2);
        filter->clear();
        QCOMPARE(shown->rowCount(), 5);

        // Behind another tab, the list catches up with new and changed rows when shown again.
        filter->setText(QStringLiteral("Eve"));
        h->find<QTabWidget>("PageControl1")->setCurrentIndex(0);
        QVERIFY(!page->isVisible());
        for (int i = 0; i < 5; ++i)
            h->capture->deliver(FriendMsgFrom("eve@example.org", "Eve", "6"));
        h->capture->deliver(FriendMsgFrom("frank@example.org", "Eve F", "7"));
        h->capture->deliver(FriendMsgFrom("bob@example.org", "Eve B", "8"));
        h->find<QTabWidget>("PageControl1")->setCurrentWidget(page);
        QCOMPARE(Column(*shown, app::ContactsModel::Account),
                 QStringList({"frank@example.org", "bob@example.org", "eve@example.org"}));
    }

    void listMatchesAWholeSort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("filter");
        QTest::newRow("latest first") << int(app::ContactsModel::LastSeen) << true << "";
        QTest::newRow("latest last, nickname filter") << int(app::ContactsModel::LastSeen) << false << "E";
        QTest::newRow("count") << int(app::ContactsModel::Messages) << true << "";
        QTest::newRow("count, account filter") << int(app::ContactsModel::Messages) << false << "1@";
        QTest::newRow("nickname") << int(app::ContactsModel::Nickname) << false << "";
        QTest::newRow("account, filter matching all") << int(app::ContactsModel::Account) << true << "X.ORG";
    }
    void listMatchesAWholeSort()
    {
        // Random traffic in batches of every size, each batch checked against a sort of the whole
        // list: few distinct values, so ties (the latest change wins) are everywhere.
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QString, filter);
        app::ContactsModel model;
        app::ContactsSortProxy proxy;
        proxy.setSortRole(app::ContactsModel::SortRole);
        proxy.setFilterColumns({app::ContactsModel::Account, app::ContactsModel::Nickname});
        proxy.setSourceModel(&model);
        proxy.sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        proxy.setFilterText(filter);
        const std::vector<std::string> nicknames{"ann", "Bob", "小安", "bee", "BEE"};
        std::vector<int> changed; // when each row's last message came
        int clock = 0;
        std::mt19937 random(7);
        for (int batch = 0; batch < 40; ++batch) {
            for (int i = static_cast<int>(random() % 30); i > 0; --i) {
                const int size = model.rowCount();
                const int row = size == 0 || random() % 3 == 0 ? size : static_cast<int>(random() % size);
                model.recordMessage((row % 2 ? "U" : "u") + std::to_string(row) + "@x.org",
                                    nicknames[random() % nicknames.size()],
                                    "2026-12-08T09:0" + std::to_string(random() % 3) + ":00");
                changed.resize(static_cast<std::size_t>(model.rowCount()));
                changed[static_cast<std::size_t>(row)] = clock++;
            }
            const QPersistentModelIndex kept = proxy.index(proxy.rowCount() / 2, 1);
            const int keptRow = proxy.mapToSource(kept).row();
            proxy.flush();

            std::vector<int> expected, shown;
            for (int row = 0; row < model.rowCount(); ++row)
                if (model.index(row, app::ContactsModel::Account)
                        .data()
                        .toString()
                        .contains(filter, Qt::CaseInsensitive) ||
                    model.index(row, app::ContactsModel::Nickname)
                        .data()
                        .toString()
                        .contains(filter, Qt::CaseInsensitive))
                    expected.push_back(row);
            const auto key = [&](int row) { return model.index(row, column).data(app::ContactsModel::SortRole); };
            std::sort(expected.begin(), expected.end(), [&](int a, int b) {
                const int c = key(a).typeId() == QMetaType::Int
                                  ? key(a).toInt() - key(b).toInt()
                                  : key(a).toString().compare(key(b).toString(), Qt::CaseInsensitive);
                return (c != 0 ? c < 0 : changed[static_cast<std::size_t>(a)] < changed[static_cast<std::size_t>(b)]) !=
                       descending;
            });
            for (int row = 0; row < proxy.rowCount(); ++row)
                shown.push_back(proxy.mapToSource(proxy.index(row, 0)).row());
            QCOMPARE(shown, expected);
            // A row kept in view stays the same contact wherever it moves.
            if (kept.isValid())
                QCOMPARE(proxy.mapToSource(kept).row(), keptRow);
            else if (keptRow >= 0)
                QVERIFY(std::find(expected.begin(), expected.end(), keptRow) == expected.end());
        }
    }

    void panelFollowsTheSelection()
    {
        h->capture->deliver(FriendMsgFrom("ann@example.org", "Ann", "1"));
        h->capture->deliver(FriendMsgFrom("bob@example.org", "Bob", "2"));
        auto* panel = h->find<QWidget>("ContactPanel");
        auto* alias = h->find<QLineEdit>("ContactAlias");
        QVERIFY(!panel->isEnabled());
        showList();
        const QModelIndex bob =
            view->model()
                ->match(view->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("bob@example.org"))
                .value(0);
        view->selectRow(bob.row());
        QVERIFY(panel->isEnabled());
        QVERIFY(!h->find<QSlider>("ContactRate")->isEnabled()); // the friend voice until ticked
        QTest::keyClicks(alias, QStringLiteral("Bobby "));
        // Messages re-sort the list while the alias is typed; the text stays as typed.
        h->capture->deliver(FriendMsgFrom("ann@example.org", "Ann", "3"));
        QTRY_COMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("ann@example.org"));
        QTest::keyClicks(alias, QStringLiteral("B"));
        QCOMPARE(alias->text(), QStringLiteral("Bobby B"));
        QCOMPARE(page->model()->book().find("bob@example.org")->alias, std::string("Bobby B"));

        // Hidden by the filter: nothing to edit.
        h->find<QLineEdit>("ContactsFilter")->setText(QStringLiteral("ann"));
        QVERIFY(!panel->isEnabled());
        QCOMPARE(page->currentRow(), -1);
    }

    void storedAcrossARestart()
    {
        h->capture->deliver(FriendMsgFrom("ann@example.org", "Ann", "1"));
        showList();
        view->selectRow(0);
        h->find<QLineEdit>("ContactAlias")->insert(QStringLiteral("安娜"));
        h->find<QCheckBox>("ContactMute")->setChecked(true);
        // An edit is saved without waiting for the exit.
        const QString ini = h->home + QStringLiteral("/quorvel/contacts.ini");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ini), 3000);
        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains(QStringLiteral("[ann@example.org]")) && text.contains(QStringLiteral("Alias=安娜")) &&
                     text.contains(QStringLiteral("Mute=1")),
                 qPrintable(text));
        file.close();

        h->capture->deliver(FriendMsgFrom("bob@example.org", "Bob", "2"));
        h->start(); // a regular end saves the rest
        QCOMPARE(h->window->contacts()->model()->rowCount(), 2);
        h->capture->deliver(FriendMsgFrom("ann@example.org", "Ann", "3"));
        h->capture->deliver(FriendMsgFrom("bob@example.org", "Bob", "4"));
        QCOMPARE(h->speech->speakCalls.size(), 1); // Ann still muted
        QCOMPARE(h->speech->speakCalls[0].text, QStringLiteral("Bob 说：4"));
        QCOMPARE(h->window->contacts()->model()->book().find("ann@example.org")->messages, 2);
    }

    void unreadableFileIsNeverWrittenOver()
    {
        // A folder where the file should be: it exists and cannot be read, even by root.
        const QString ini = h->home + QStringLiteral("/quorvel/contacts.ini");
        h->stop();
        QFile::remove(ini);
        QVERIFY(QDir().mkpath(ini + QStringLiteral("/keep")));
        h->start();
        page = h->window->contacts();
        view = h->find<QTableView>("ContactsView");
        QVERIFY2(h->find<QStatusBar>("StatusBar1")->currentMessage().contains(QStringLiteral("无法读取 contacts.ini")),
                 qPrintable(h->find<QStatusBar>("StatusBar1")->currentMessage()));
        h->capture->deliver(FriendMsg("Ann", "Hi"));
        showList();
        view->selectRow(0);
        h->find<QCheckBox>("ContactMute")->setChecked(true); // an edit, then a regular end
        ui::MessageBox::clearShown();
        ui::MessageBox::setEnding(true); // a box would not wait for an answer
        h->stop();
        ui::MessageBox::setEnding(false);
        QVERIFY2(ui::MessageBox::shown().isEmpty(), qPrintable(ui::MessageBox::shown().value(0).text));
        QVERIFY(QFileInfo(ini + QStringLiteral("/keep")).isDir());
    }

    void everyControlNamedAndReachableByKeyboard()
    {
        h->capture->deliver(FriendMsg("Ann", "Hi"));
        showList();
        view->selectRow(0);
        h->find<QCheckBox>("ContactOwnVoice")->setChecked(true);
        const QList<const char*> chain = {"ContactsFilter", "ContactsView",    "ContactAlias",
                                          "ContactMute",    "ContactOwnVoice", "ContactVoice",
                                          "ContactRate",    "ContactVolume",   "ContactDefault"};
        QWidget* w = h->find<QWidget>(chain.first());
        for (qsizetype i = 0; i < chain.size(); ++i) {
            QWidget* expected = h->find<QWidget>(chain[i]);
            QVERIFY2(!expected->accessibleName().isEmpty(), chain[i]);
            QVERIFY2(expected->focusPolicy() & Qt::TabFocus, chain[i]);
            if (i > 0) {
                w = w->nextInFocusChain();
                while (w->focusPolicy() == Qt::NoFocus || !page->isAncestorOf(w))
                    w = w->nextInFocusChain();
            }
            QCOMPARE(w->objectName(), QString::fromLatin1(chain[i]));
        }
    }

private:
    // The list takes in new and changed rows when it is shown, and while shown in batches.
    void showList()
    {
        h->find<QTabWidget>("PageControl1")->setCurrentWidget(page);
        h->window->show();
    }

    std::unique_ptr<Harness> h;
    app::ContactsPage* page = nullptr;
    QTableView* view = nullptr;
};

QTEST_MAIN(ContactsTest)
#include "ContactsTest.moc"
