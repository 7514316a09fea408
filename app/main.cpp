#include "app/QtEventPump.h"
#include "bus/UnitThread_PAR_IO.h"
#include "platform/PortIo.h"
#include "platform/Tick.h"
#include "sim/SimParallelCard.h"
#include "sim/SimTestCard.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

// Until the main window exists the program drives the parallel transport once: it sends the
// rack's initialisation sequence (address, data strobe with D5 high, data strobe with D5 low
// for each of the 64 places) and reports what came back.
int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    app::InstallQtEventPump();

    const bool simulated = application.arguments().contains("/sim", Qt::CaseInsensitive);
    sim::TTrainBus rack;
    sim::TSimParallelCard simulatedCard(rack);
    platform::TRealPortBackend realPorts;

    if (simulated) {
        for (int place = 0; place < sim::TTrainBus::Places; ++place) {
            auto card = std::make_shared<sim::TSimTestCard>();
            card->Lines = static_cast<std::uint8_t>(place & 15);
            rack.Plug(place, card);
        }
        platform::SetPortBackend(&simulatedCard);
    } else {
        const platform::TPortAccess access = platform::TRealPortBackend::RequestAccess();
        if (!access.Granted) {
            std::fprintf(stderr, "%s\n", access.Reason.c_str());
            return 1;
        }
        platform::SetPortBackend(&realPorts);
    }

    bus::TParTransport& transport = bus::ParTransport();
    transport.CreateWorker();
    transport.ResetTransport(200);

    const std::uint32_t start = platform::GetTickCount();
    int answers = 0;
    for (int place = 0; place < 64; ++place) {
        for (int word : {128 + place, 96, 64}) {
            transport.PutWord(word);
            int result = bus::NoDataYet;
            while ((result = transport.GetFeedback()) == bus::NoDataYet)
                platform::Sleep(0);
            ++answers;
        }
    }
    const std::uint32_t elapsed = platform::GetTickCount() - start;
    std::printf("Initialisatie van het %s rek: 192 woorden, %d antwoorden, %u ms.\n",
                simulated ? "gesimuleerde" : "echte", answers, elapsed);

    // The worker must be gone before the port backend it uses.
    transport.StopWorker();
    platform::SetPortBackend(nullptr);
    return 0;
}
