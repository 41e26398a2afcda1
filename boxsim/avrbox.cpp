#include "avrbox.h"

extern "C" {
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_interrupts.h>
#include <uart_pty.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr uint32_t Frequency = 16000000;
constexpr double CyclesPerMicrosecond = Frequency / 1e6;
constexpr uint64_t ReleaseAfterCycles = 50000 * 16; // a press lasts 50 ms
constexpr uint64_t LightCycles = 50000 * 16;        // and a screen's flash too
constexpr uint8_t ReceiveVector = 18;               // USART_RX on the ATmega328P

// simavr reports its loading and its pty on standard output, including a fixed link under /tmp
// that is not ours to offer; the program says what matters itself.
template<class Function> void Quietly(Function function)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int nowhere = ::open("/dev/null", O_WRONLY);
    if (saved >= 0 && nowhere >= 0)
        ::dup2(nowhere, STDOUT_FILENO);
    function();
    std::fflush(stdout);
    if (saved >= 0 && nowhere >= 0)
        ::dup2(saved, STDOUT_FILENO);
    for (int fd : {saved, nowhere})
        if (fd >= 0)
            ::close(fd);
}

} // namespace

struct AvrBox::Sim
{
    avr_t *avr = nullptr;
    uart_pty_t uart {};
    bool uartStarted = false;
    avr_irq_t *button = nullptr;
    avr_irq_t *sensor = nullptr;
    avr_irq_t *receiverFull = nullptr; // the receiver's XOFF to the pseudo-terminal
};

struct AvrBox::Flash
{
    AvrBox *box;
    uint64_t commandCycle;
};

AvrBox::AvrBox()
    : sim(std::make_unique<Sim>())
{ }

AvrBox::~AvrBox()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
    if (sim->uartStarted) {
        // Not uart_pty_stop: its SIGINT can miss the bridge's select and leave it spinning on a
        // closed descriptor. The thread waits in select, a cancellation point, and holds no lock.
        pthread_cancel(sim->uart.thread);
        pthread_join(sim->uart.thread, nullptr);
        ::close(sim->uart.pty.s);
    }
    if (sim->avr)
        avr_terminate(sim->avr);
}

std::string AvrBox::Start(const std::string &firmwarePath, bool paced)
{
    realTime = paced;
    elf_firmware_t firmware {};
    int read = -1;
    Quietly([&] { read = elf_read_firmware(firmwarePath.c_str(), &firmware); });
    if (read != 0)
        return "cannot read the firmware " + firmwarePath;
    sim->avr = avr_make_mcu_by_name("atmega328p");
    if (!sim->avr)
        return "simavr knows no atmega328p";
    avr_t *avr = sim->avr;
    avr_init(avr);
    avr->frequency = Frequency;
    Quietly([&] { avr_load_firmware(avr, &firmware); });
    // The default sleep waits in real time; pacing, where wanted, is done in Run.
    avr->sleep = [](avr_t *, avr_cycle_count_t) {};

    // Polling the receiver would otherwise make simavr sleep at every empty read.
    uint32_t flags = 0;
    avr_ioctl(avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~(AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO);
    avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    Quietly([&] {
        uart_pty_init(avr, &sim->uart);
        uart_pty_connect(&sim->uart, '0');
    });
    sim->uartStarted = true;
    avr_irq_register_notify(
        avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT),
        [](avr_irq_t *, uint32_t value, void *self) { static_cast<AvrBox *>(self)->SerialByte("<- ", value); }, this);
    avr_irq_register_notify(
        avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
        [](avr_irq_t *, uint32_t value, void *self) { static_cast<AvrBox *>(self)->SerialByte("-> ", value); }, this);
    sim->receiverFull = avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF);
    avr_irq_register_notify(
        avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT),
        [](avr_irq_t *, uint32_t value, void *self) { static_cast<AvrBox *>(self)->HostByte(value); }, this);
    // The receiver's interrupt becomes pending (its flag RXC rises, enabled or not) as a byte is
    // complete: its arrival.
    avr_irq_register_notify(
        avr_get_interrupt_irq(avr, ReceiveVector) + AVR_INT_IRQ_PENDING,
        [](avr_irq_t *, uint32_t value, void *self) {
            if (value)
                static_cast<AvrBox *>(self)->ByteArrived();
        },
        this);

    avr_irq_register_notify(
        avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), IOPORT_IRQ_PIN5),
        [](avr_irq_t *, uint32_t value, void *self) { static_cast<AvrBox *>(self)->LedChanged(value != 0); }, this);
    sim->button = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('D'), IOPORT_IRQ_PIN2);
    SetButton(false);
    sim->sensor = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('D'), IOPORT_IRQ_PIN3);
    SetSensor();

    thread = std::thread([this] { Run(); });
    return {};
}

std::string AvrBox::SerialDevice() const
{
    return sim->uart.pty.slavename;
}

void AvrBox::SetReaction(std::function<double()> microsecondsAfterLed)
{
    std::lock_guard<std::mutex> lock(mutex);
    reaction = std::move(microsecondsAfterLed);
}

void AvrBox::SetLightDelay(std::function<double()> microsecondsAfterCommand, bool fromSending)
{
    std::lock_guard<std::mutex> lock(mutex);
    lightDelay = std::move(microsecondsAfterCommand);
    lightFromSending = fromSending;
}

void AvrBox::SetReactionToLight(std::function<double()> microsecondsAfterLight)
{
    std::lock_guard<std::mutex> lock(mutex);
    reactionToLight = std::move(microsecondsAfterLight);
}

void AvrBox::SetLight(bool lit)
{
    lightRequested = lit;
}

void AvrBox::PressNow()
{
    pressRequested = true;
}

void AvrBox::MoveButton(std::vector<Step> steps)
{
    std::lock_guard<std::mutex> lock(mutex);
    moves.insert(moves.end(), steps.begin(), steps.end());
}

void AvrBox::ScheduleMoves()
{
    std::vector<Step> taken;
    {
        std::lock_guard<std::mutex> lock(mutex);
        taken.swap(moves);
    }
    for (const Step &step : taken) {
        scheduled.push_back(std::make_unique<Move>(Move {this, step.down}));
        avr_cycle_timer_register(
            sim->avr, static_cast<avr_cycle_count_t>(std::llround(step.atUs * CyclesPerMicrosecond)),
            [](avr_t *, avr_cycle_count_t, void *param) -> avr_cycle_count_t {
                const Move *move = static_cast<Move *>(param);
                move->box->SetButton(move->down);
                return 0;
            },
            scheduled.back().get());
    }
}

std::vector<std::string> AvrBox::Traffic() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return traffic;
}

void AvrBox::SerialByte(const char *direction, uint32_t byte)
{
    std::lock_guard<std::mutex> lock(mutex);
    std::string &line = partial[direction[0] == '-'];
    const char c = static_cast<char>(byte);
    if (c == '\n' || c == ';') {
        traffic.push_back(direction + line);
        line.clear();
    } else if (c != '\r' && line.size() < 80) {
        line += c;
    }
}

// simavr would put all the bytes the host has written into the receiver's FIFO at once, and after
// the first all would be there to read together. One at a time, each only after the firmware has
// taken the one before, they arrive as on the wire: one per byte time, each with its own RXC.
void AvrBox::HostByte(uint32_t byte)
{
    avr_raise_irq(sim->receiverFull, 1); // the pseudo-terminal holds the next one back
    const char c = static_cast<char>(byte);
    byteInFlight = true;
    lightCommand = false;
    if (c == '\n' || c == ';') {
        lightCommand = hostLine == "l" || hostLine == "s";
        hostLine.clear();
    } else if (c != '\r' && hostLine.size() < 80) {
        if (hostLine.empty())
            hostLineCycle = sim->avr->cycle;
        hostLine += c;
    }
}

void AvrBox::ByteArrived()
{
    if (!byteInFlight)
        return; // the flag raised again for a byte not yet read
    byteInFlight = false;
    if (!lightCommand)
        return;
    double after = -1;
    bool fromSending = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (lightDelay)
            after = lightDelay();
        fromSending = lightFromSending;
    }
    if (after < 0)
        return;
    flashTimers.push_back(std::make_unique<Flash>(Flash {this, sim->avr->cycle}));
    int64_t cycles = std::llround(after * CyclesPerMicrosecond);
    if (fromSending) // the line's byte times have passed already
        cycles = std::max<int64_t>(1, cycles - static_cast<int64_t>(sim->avr->cycle - hostLineCycle));
    avr_cycle_timer_register(
        sim->avr, static_cast<avr_cycle_count_t>(cycles),
        [](avr_t *, avr_cycle_count_t, void *param) -> avr_cycle_count_t {
            Flash *flash = static_cast<Flash *>(param);
            flash->box->LightUp(flash);
            return 0;
        },
        flashTimers.back().get());
}

void AvrBox::LightUp(Flash *flash)
{
    double pressAfter = -1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        lightCycle = sim->avr->cycle;
        lightTimes.push_back((lightCycle - flash->commandCycle) / CyclesPerMicrosecond);
        if (reactionToLight)
            pressAfter = reactionToLight();
    }
    ++flashes;
    SetSensor();
    if (pressAfter >= 0)
        avr_cycle_timer_register(
            sim->avr, static_cast<avr_cycle_count_t>(std::llround(pressAfter * CyclesPerMicrosecond)),
            [](avr_t *, avr_cycle_count_t, void *param) -> avr_cycle_count_t {
                static_cast<Flash *>(param)->box->Press(AfterLight);
                return 0;
            },
            flash);
    // A timer is known by its function and parameter: each flash's end has its own.
    avr_cycle_timer_register(
        sim->avr, LightCycles,
        [](avr_t *, avr_cycle_count_t, void *param) -> avr_cycle_count_t {
            static_cast<Flash *>(param)->box->LightDown();
            return 0;
        },
        flash);
}

void AvrBox::LightDown()
{
    --flashes;
    SetSensor();
}

void AvrBox::SetSensor()
{
    sensorLit = lightHeld || flashes > 0;
    avr_raise_irq(sim->sensor, sensorLit ? 0 : 1); // light pulls the output low
}

std::vector<double> AvrBox::Presses() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return presses;
}

std::vector<double> AvrBox::PressesAfterLight() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return pressesAfterLight;
}

std::vector<double> AvrBox::LightTimes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lightTimes;
}

double AvrBox::Now() const
{
    return cycle / CyclesPerMicrosecond;
}

void AvrBox::Run()
{
    avr_t *avr = sim->avr;
    const auto started = std::chrono::steady_clock::now();
    while (!stopping) {
        if (pressRequested.exchange(false))
            Press(AfterLed | AfterLight);
        const int light = lightRequested.exchange(-1);
        if (light >= 0) {
            lightHeld = light;
            SetSensor();
        }
        ScheduleMoves();
        for (int i = 0; i < 1000; ++i) {
            const int state = avr_run(avr);
            if (state == cpu_Done || state == cpu_Crashed)
                return;
        }
        cycle = avr->cycle;
        if (realTime) {
            const auto due = started + std::chrono::nanoseconds(static_cast<int64_t>(avr->cycle * 1000 / 16));
            if (due - std::chrono::steady_clock::now() > std::chrono::milliseconds(1))
                std::this_thread::sleep_until(due);
        }
    }
}

void AvrBox::LedChanged(bool on)
{
    if (on == ledOn)
        return;
    ledOn = on;
    if (!on)
        return;
    // The port changes as the writing instruction ends; a timer due one cycle on runs just then.
    avr_cycle_timer_register(
        sim->avr, 1,
        [](avr_t *, avr_cycle_count_t, void *self) -> avr_cycle_count_t {
            static_cast<AvrBox *>(self)->LedLit();
            return 0;
        },
        this);
}

void AvrBox::LedLit()
{
    double after = -1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ledOnCycle = sim->avr->cycle;
        if (reaction)
            after = reaction();
    }
    if (after < 0)
        return;
    avr_cycle_timer_register(
        sim->avr, static_cast<avr_cycle_count_t>(std::llround(after * CyclesPerMicrosecond)),
        [](avr_t *, avr_cycle_count_t, void *self) -> avr_cycle_count_t {
            static_cast<AvrBox *>(self)->Press(AfterLed);
            return 0;
        },
        this);
}

void AvrBox::Press(int timed)
{
    avr_t *avr = sim->avr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (timed & AfterLed)
            presses.push_back((avr->cycle - ledOnCycle) / CyclesPerMicrosecond);
        if (timed & AfterLight)
            pressesAfterLight.push_back((avr->cycle - lightCycle) / CyclesPerMicrosecond);
    }
    SetButton(true);
    avr_cycle_timer_register(
        avr, ReleaseAfterCycles,
        [](avr_t *, avr_cycle_count_t, void *self) -> avr_cycle_count_t {
            static_cast<AvrBox *>(self)->SetButton(false);
            return 0;
        },
        this);
}

void AvrBox::SetButton(bool down)
{
    buttonDown = down;
    avr_raise_irq(sim->button, down ? 0 : 1); // pressed pulls the line low
}
