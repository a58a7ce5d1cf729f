// A friend's message through the real window (fake capture and speech, offscreen) while the
// contacts tab holds 1, 1,000 or 10,000 contacts, sorted by the time of the last message as it is
// at start: a new contact, and a message from a known one, must cost the same at every size while
// the log tab is in front. NewContact/ContactsTab has the contacts tab in front, where Qt's proxy sorts
// each new row in place.

#include "Support.h"

#include "app/ContactsPage.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QDateTime>
#include <QTabWidget>

#include <benchmark/benchmark.h>

using namespace quorvel;
using namespace quorvel::testing;

namespace {

std::string Account(int i)
{
    return "friend" + std::to_string(i) + "@example.org";
}

// A window whose list already holds `contacts` friends, each with one message.
std::unique_ptr<Harness> Window(int contacts, bool contactsTab = false)
{
    auto h = std::make_unique<Harness>();
    h->start();
    if (contactsTab) {
        h->find<QTabWidget>("PageControl1")->setCurrentWidget(h->window->contacts());
        h->window->show();
    }
    app::ContactsModel* model = h->window->contacts()->model();
    const std::string now = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
    for (int i = 0; i < contacts; ++i)
        model->recordMessage(Account(i), "Friend " + std::to_string(i), now);
    return h;
}

void NewContact(benchmark::State& state, bool contactsTab)
{
    const int size = static_cast<int>(state.range(0));
    auto h = Window(size - 1, contactsTab);
    int next = size - 1;
    for (auto _ : state) {
        // Each round adds one more contact: 500 rounds move 10,000 by 5 %.
        const QByteArray account = QByteArray::fromStdString(Account(next++));
        h->capture->deliver(FriendMsgFrom(account, "New", "Hello"));
        state.PauseTiming();
        h->window->log()->clear(); // the log's own growth is measured elsewhere
        state.ResumeTiming();
    }
    state.counters["contacts"] = static_cast<double>(h->window->contacts()->model()->rowCount());
}
BENCHMARK_CAPTURE(NewContact, LogTab, false)
    ->Arg(1)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(NewContact, ContactsTab, true)
    ->Arg(1)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);

void KnownContact(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    auto h = Window(size);
    const QByteArray datagram = FriendMsgFrom(QByteArray::fromStdString(Account(size - 1)), "Known", "Hello");
    for (auto _ : state) {
        h->capture->deliver(datagram);
        state.PauseTiming();
        h->window->log()->clear();
        state.ResumeTiming();
    }
    state.counters["contacts"] = static_cast<double>(h->window->contacts()->model()->rowCount());
}
BENCHMARK(KnownContact)->Arg(1)->Arg(1000)->Arg(10000)->Iterations(500)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
