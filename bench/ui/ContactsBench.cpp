// A friend's message through the real window (fake capture and speech, offscreen) while the
// contacts tab holds 1, 1,000 or 10,000 contacts, sorted by the time of the last message as it is
// at start: a new contact, and a message from a known one, must cost the same at every size, with
// the log tab or the contacts tab in front. The list takes in noted rows in batches while it is
// shown; Flush is the cost of one batch (the list's and the view's work), and EveryMessageFlushed
// the cost of a message when each one makes a batch of its own (messages more than 200 ms apart).

#include "Support.h"

#include "app/ContactsPage.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QLineEdit>
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
    app::ContactsModel* model = h->window->contacts()->model();
    const std::string now = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
    for (int i = 0; i < contacts; ++i)
        model->recordMessage(Account(i), "Friend " + std::to_string(i), now);
    if (contactsTab) {
        h->find<QTabWidget>("PageControl1")->setCurrentWidget(h->window->contacts());
        h->window->show();
        QCoreApplication::processEvents();
    }
    return h;
}

void Settle(Harness& h)
{
    h.window->log()->clear(); // the log's own growth is measured elsewhere
    QCoreApplication::processEvents();
}

// A friend's message, from a new contact (each round adds one more: 500 rounds move 10,000 by 5 %)
// or from the contact seen last.
void Message(benchmark::State& state, bool newContact, bool contactsTab)
{
    const int size = static_cast<int>(state.range(0));
    auto h = Window(newContact ? size - 1 : size, contactsTab);
    int next = size - 1;
    for (auto _ : state) {
        // A datagram of its own each time: one delivered again is dropped as a retransmission.
        const QByteArray account = QByteArray::fromStdString(Account(newContact ? next++ : size - 1));
        h->capture->deliver(FriendMsgFrom(account, newContact ? "New" : "Known", "Hello"));
        state.PauseTiming();
        h->window->log()->clear();
        state.ResumeTiming();
    }
    state.counters["contacts"] = static_cast<double>(h->window->contacts()->model()->rowCount());
}
// Each message case at 1, 1,000 and 10,000 contacts.
void MessageCase(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(1000)->Arg(10000)->Iterations(500)->Unit(benchmark::kMicrosecond);
}
BENCHMARK_CAPTURE(Message, NewContactLogTab, true, false)->Apply(MessageCase);
BENCHMARK_CAPTURE(Message, NewContactContactsTab, true, true)->Apply(MessageCase);
BENCHMARK_CAPTURE(Message, KnownContactLogTab, false, false)->Apply(MessageCase);
BENCHMARK_CAPTURE(Message, KnownContactContactsTab, false, true)->Apply(MessageCase);

// One batch with the contacts tab in front: `batch` messages, half from new contacts, half from
// known ones, put in place and laid out by the view.
void Flush(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const int batch = static_cast<int>(state.range(1));
    auto h = Window(size, true);
    app::ContactsSortProxy* proxy = h->window->contacts()->proxy();
    int next = size;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < batch; ++i) {
            const int from = i % 2 == 0 ? next++ : (i * 7919) % size;
            h->capture->deliver(FriendMsgFrom(QByteArray::fromStdString(Account(from)), "Batch", "Hello"));
        }
        Settle(*h);
        state.ResumeTiming();
        proxy->flush();
        QCoreApplication::processEvents();
    }
    state.counters["contacts"] = static_cast<double>(h->window->contacts()->model()->rowCount());
}
BENCHMARK(Flush)->ArgsProduct({{1, 1000, 10000}, {1, 100}})->Iterations(100)->Unit(benchmark::kMicrosecond);

// Messages too far apart to share a batch: each pays its own, view included.
void EveryMessageFlushed(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    auto h = Window(size, true);
    app::ContactsSortProxy* proxy = h->window->contacts()->proxy();
    int next = size;
    for (auto _ : state) {
        const int from = next % 2 == 0 ? next : (next * 7919) % size;
        ++next;
        h->capture->deliver(FriendMsgFrom(QByteArray::fromStdString(Account(from)), "One", "Hello"));
        proxy->flush();
        QCoreApplication::processEvents();
        state.PauseTiming();
        Settle(*h);
        state.ResumeTiming();
    }
    state.counters["contacts"] = static_cast<double>(h->window->contacts()->model()->rowCount());
}
BENCHMARK(EveryMessageFlushed)->Arg(1)->Arg(1000)->Arg(10000)->Iterations(200)->Unit(benchmark::kMicrosecond);

// The filter box with the contacts tab in front: one contact in ten stays, scattered over the
// list, then the filter is cleared again.
void Filter(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    auto h = Window(size, true);
    auto* filter = h->find<QLineEdit>("ContactsFilter");
    for (auto _ : state) {
        filter->setText(QStringLiteral("5@"));
        QCoreApplication::processEvents();
        filter->clear();
        QCoreApplication::processEvents();
    }
    state.counters["contacts"] = static_cast<double>(h->window->contacts()->model()->rowCount());
}
BENCHMARK(Filter)->Arg(1000)->Arg(10000)->Iterations(10)->Unit(benchmark::kMillisecond);

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
