// Firmware of the Flinkprobe switch box: an ATmega328P at 16 MHz (Arduino Uno or Nano class).
//
// Wiring: LED (through a resistor) on PB5 = D13, push button from PD2 = D2 (INT0) to ground,
// using the internal pull-up. Light sensor module (comparator with a threshold potentiometer) with
// its digital output DO on PD3 = D3 (INT1), internal pull-up on: DO goes low when the light is above
// the threshold; a pin left open reads dark. Serial line 19200 baud, 8N1, ASCII.
//
// From the host, lines ending in line feed or ';' (carriage returns are ignored):
//   r      light the LED and time the button from that instant. The answer is one line
//          "t <microseconds>", after which the LED goes off. A button already held down does not
//          count: the box waits until it has been released for 10 ms, then takes the next press;
//          the time still runs from the LED.
//   l      time the light: from the arrival of the line's end (the receiver's completion of the
//          line feed) to the sensor seeing light, answered "l <microseconds>"; "l timeout" when no
//          light comes within 1 s, "l lit" at once when the sensor sees light already. Cancels a
//          button measurement without an answer and puts the LED off.
//   s      a screen trial: the light timed and answered as for "l"; after "l <microseconds>" the
//          button is timed from the light as it is from the LED for "r", answered "t <microseconds>"
//          by the same rules. After "l timeout" or "l lit" no "t" comes.
//   e      answered "e" at once, for the host to time the line's round trip.
//   L 0    LED off; L 1: LED on. Either cancels a measurement in progress, without an answer; so
//          do "r", "l" and "s" one another's, "s" whether it waits for the light or the button.
// Anything else ("T", "R" included) is ignored, and a line longer than LINE_MAX characters is
// dropped whole. A press later than 35 minutes (after the LED or the light) is not answered.
//
// Timing: Timer1 counts at 2 MHz (0.5 us ticks) from the instant the LED lights, or from the light
// command; the main loop extends it to 32 bits. The button's or the sensor's falling edge
// interrupts, and the first thing the handler does is read the counter. Its fixed entry delay is
// taken off the result. Each received byte interrupts too, and that handler first reads Timer0,
// which counts every cycle: the light command is timed from its line's end to the cycle. A screen
// trial's press is timed on the same running counter from the light's capture: the difference of
// two captures, whose entry delays cancel.

#include <avr/interrupt.h>
#include <avr/io.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define LINE_MAX 24

// Cycles from the button's edge to the handler's counter read: interrupt response 4, vector jump
// 3, push 2, the read itself 2, and about 1 for the edge detector and the instruction that is
// completed first.
#define ENTRY_CYCLES 12
// Cycles from the LED lighting (end of sbi) to the counter's start (the prescaler reset).
#define START_CYCLES 1
// Cycles from a byte's arrival (RXC) to its handler's read of Timer0: interrupt response 4, vector
// jump 3, push 2, the read itself 1, and about 1 for the instruction that is completed first.
#define RX_ENTRY_CYCLES 11
// Cycles from the light command's read of Timer0 to the counter's start (the prescaler reset).
#define RESTART_CYCLES 1
// No light within 1 s (2 000 000 ticks) is a timeout. The main loop sees the time is up from the
// overflows and the compare match, without reading the counter: that would mean blocking
// interrupts, which could hold the sensor's capture back.
#define LIGHT_TIMEOUT_US 1000000
#define LIGHT_TIMEOUT_TICKS 2000000UL

#define LED_ON() (PORTB |= _BV(PB5))
#define LED_OFF() (PORTB &= ~_BV(PB5))
#define BUTTON_DOWN() (!(PIND & _BV(PD2)))
#define LIGHT_SEEN() (!(PIND & _BV(PD3)))
#define UART_ON (_BV(RXEN0) | _BV(TXEN0))

// Written by the button's or the sensor's handler, read by the main loop once `captured` is set.
volatile uint16_t captureTicks;
volatile uint8_t captureFlags; // TIFR1 right after the capture: was an overflow pending?
volatile uint16_t captureOverflows;
volatile uint8_t captured;

// Written by the receiver's handler when a byte arrives, read by the main loop with that byte.
volatile uint8_t rxCycle;  // Timer0, to the cycle
volatile uint16_t rxTicks; // Timer1, which lap of Timer0 it was

// Timer1 overflows since the LED lit; kept by the main loop (an interrupt for it could delay the
// button's handler by its whole length).
volatile uint16_t overflows;

static bool measuring; // an "r", or an "s" after its light, waits for its press
static bool armed;     // the button's interrupt is on
static uint32_t releasedSince;
static bool timingLight;         // an "l" or "s" waits for the light
static bool buttonAfterLight;    // it is an "s": the press is timed from the light
static uint32_t lightTicks;      // the light's capture
static int32_t lightStartCycles; // from the command's arrival to the counter's start

static char line[LINE_MAX];
static uint8_t lineLength;
static bool lineTooLong;

static char txBuffer[32];
static uint8_t txHead, txTail;

// The capture: reads the counter as early as possible, then stores what the main loop needs to
// put the time together. Touches no status flags, so SREG need not be saved.
ISR(INT0_vect, ISR_NAKED)
{
    __asm__ __volatile__("push r24\n\t"
                         "lds r24, %[tcntl]\n\t" // reading the low byte latches the high byte
                         "sts captureTicks, r24\n\t"
                         "lds r24, %[tcnth]\n\t"
                         "sts captureTicks+1, r24\n\t"
                         "in r24, %[tifr1]\n\t"
                         "sts captureFlags, r24\n\t"
                         "lds r24, overflows\n\t"
                         "sts captureOverflows, r24\n\t"
                         "lds r24, overflows+1\n\t"
                         "sts captureOverflows+1, r24\n\t"
                         "out %[eimsk], __zero_reg__\n\t" // one press per measurement: bounces are not presses
                         "ldi r24, 1\n\t"
                         "sts captured, r24\n\t"
                         "pop r24\n\t"
                         "reti\n\t" ::[tcntl] "n"(_SFR_MEM_ADDR(TCNT1L)),
        [tcnth] "n"(_SFR_MEM_ADDR(TCNT1H)), [tifr1] "I"(_SFR_IO_ADDR(TIFR1)), [eimsk] "I"(_SFR_IO_ADDR(EIMSK)));
}

// The sensor's edge: the same capture, so the same entry delay.
ISR(INT1_vect, ISR_ALIASOF(INT0_vect));

// A byte's arrival: stamps it, to the cycle, and keeps the interrupt off until the main loop has
// taken the byte (it reads it as before). Touches no status flags either. With its entry it takes
// 29 cycles, the capture 38: a press or light within 1.8 us after a byte's arrival is captured late
// by the rest, and a byte within 2.4 us after a press or light stamped late likewise.
ISR(USART_RX_vect, ISR_NAKED)
{
    __asm__ __volatile__("push r24\n\t"
                         "in r24, %[tcnt0]\n\t"
                         "sts rxCycle, r24\n\t"
                         "lds r24, %[tcntl]\n\t"
                         "sts rxTicks, r24\n\t"
                         "lds r24, %[tcnth]\n\t"
                         "sts rxTicks+1, r24\n\t"
                         "ldi r24, %[uartOn]\n\t"
                         "sts %[ucsr0b], r24\n\t"
                         "pop r24\n\t"
                         "reti\n\t" ::[tcnt0] "I"(_SFR_IO_ADDR(TCNT0)),
        [tcntl] "n"(_SFR_MEM_ADDR(TCNT1L)), [tcnth] "n"(_SFR_MEM_ADDR(TCNT1H)), [uartOn] "M"(UART_ON),
        [ucsr0b] "n"(_SFR_MEM_ADDR(UCSR0B)));
}

static void TrackOverflows(void)
{
    if (!(TIFR1 & _BV(TOV1)) || overflows == UINT16_MAX)
        return;
    // Counted first, so that interrupts are off only for the stores: a capture waits for them.
    uint16_t next = overflows + 1;
    cli();
    TIFR1 = _BV(TOV1) | _BV(OCF1A); // a compare match counts in the lap it came in
    overflows = next;
    sei();
}

// Ticks since the LED lit.
static uint32_t Now(void)
{
    cli();
    uint16_t low = TCNT1;
    uint16_t high = overflows;
    if ((TIFR1 & _BV(TOV1)) && low < 0x8000)
        ++high; // wrapped before the read, not yet counted
    sei();
    return ((uint32_t)high << 16) | low;
}

// Queues a whole line or, should there be no room, none of it: never half an answer.
static void Send(const char *text)
{
    uint8_t length = strlen(text);
    uint8_t room = (txTail + sizeof txBuffer - txHead - 1) % sizeof txBuffer;
    if (length > room)
        return;
    for (; *text; ++text) {
        txBuffer[txHead] = *text;
        txHead = (txHead + 1) % sizeof txBuffer;
    }
}

static void TransmitBytes(void)
{
    if (txHead != txTail && (UCSR0A & _BV(UDRE0))) {
        UDR0 = txBuffer[txTail];
        txTail = (txTail + 1) % sizeof txBuffer;
    }
}

static void Arm(void)
{
    EIFR = _BV(INTF0); // an edge from before the measurement is not a press
    EIMSK = _BV(INT0);
    armed = true;
}

static void StopMeasurement(void)
{
    EIMSK = 0;
    measuring = false;
    armed = false;
    timingLight = false;
    buttonAfterLight = false;
}

// A button held down at `fromTicks` first has to be let go.
static void StartButton(uint32_t fromTicks)
{
    captured = 0;
    measuring = true;
    armed = false;
    releasedSince = fromTicks;
    if (!BUTTON_DOWN())
        Arm();
}

static void StartMeasurement(void)
{
    cli();
    TCCR1B = 0;
    TCNT1 = 0;
    TIFR1 = _BV(TOV1);
    overflows = 0;
    // LED on, prescaler reset, counter on: three fixed instructions, so the start is exact.
    __asm__ __volatile__("sbi %[portb], %[led]\n\t"
                         "out %[gtccr], %[reset]\n\t"
                         "sts %[tccr1b], %[run]\n\t" ::[portb] "I"(_SFR_IO_ADDR(PORTB)),
        [led] "I"(PB5), [gtccr] "I"(_SFR_IO_ADDR(GTCCR)), [reset] "r"((uint8_t)_BV(PSRSYNC)),
        [tccr1b] "n"(_SFR_MEM_ADDR(TCCR1B)), [run] "r"((uint8_t)_BV(CS11)));
    sei();
    StartButton(0);
}

static uint32_t CapturedTicks(void)
{
    uint32_t ticks = ((uint32_t)captureOverflows << 16) | captureTicks;
    if ((captureFlags & _BV(TOV1)) && captureTicks < 0x8000)
        ticks += 0x10000; // the counter wrapped just before the edge, the main loop had not seen it
    return ticks;
}

// The captured edge in microseconds from the instant timed, which was `startCycles` before the
// counter's 0.
static uint32_t CapturedMicroseconds(int32_t startCycles)
{
    uint32_t ticks = CapturedTicks();
    // In cycles: the middle of the tick read, less the entry delay, plus the late start; rounded.
    int64_t cycles = (int64_t)ticks * 8 + 4 + startCycles - ENTRY_CYCLES;
    return cycles < 0 ? 0 : (uint32_t)((cycles + 8) / 16);
}

static void SendTime(const char *prefix, uint32_t us)
{
    char reply[16];
    strcpy(reply, prefix);
    ultoa(us, reply + strlen(prefix), 10);
    strcat(reply, "\n");
    Send(reply);
}

static void Reply(void)
{
    // From the light: the two captures' entry delays and half-tick middles cancel, leaving
    // 8 cycles a tick; rounded to the microsecond (16 cycles) once.
    uint32_t us = buttonAfterLight ? (CapturedTicks() - lightTicks + 1) / 2 : CapturedMicroseconds(START_CYCLES);
    SendTime("t ", us);
    LED_OFF();
    StopMeasurement();
}

static void Measure(void)
{
    if (!armed) {
        // A held button first has to be let go, and stay so for 10 ms (20000 ticks).
        uint32_t now = Now();
        if (BUTTON_DOWN())
            releasedSince = now;
        else if (now - releasedSince >= 20000)
            Arm();
    } else if (captured) {
        Reply();
    }
    if (measuring && overflows == UINT16_MAX) {
        LED_OFF();
        StopMeasurement();
    }
}

// Runs for the command whose line feed has just been read, so the receiver's stamp is that of its
// arrival.
static void StartLight(void)
{
    cli();
    uint16_t ticks = TCNT1;
    TCCR1B = 0;
    TCNT1 = 0;
    TIFR1 = _BV(TOV1) | _BV(OCF1A);
    overflows = 0;
    captured = 0;
    // Timer0 read, prescaler reset, counter on: fixed instructions, so the start is known to the
    // cycle.
    uint8_t cycle;
    __asm__ __volatile__(
        "in %[cycle], %[tcnt0]\n\t"
        "out %[gtccr], %[reset]\n\t"
        "sts %[tccr1b], %[run]\n\t"
        : [cycle] "=&r"(cycle)
        : [tcnt0] "I"(_SFR_IO_ADDR(TCNT0)), [gtccr] "I"(_SFR_IO_ADDR(GTCCR)), [reset] "r"((uint8_t)_BV(PSRSYNC)),
        [tccr1b] "n"(_SFR_MEM_ADDR(TCCR1B)), [run] "r"((uint8_t)_BV(CS11)));
    // Cycles since the stamp: Timer0 tells them to the cycle but only modulo 256, Timer1 (read a
    // few cycles apart from it) which multiple of 256 is meant.
    uint16_t roughly = (uint16_t)(ticks - rxTicks) * 8; // the byte was read a few dozen cycles ago
    uint16_t since = roughly + (int8_t)(uint8_t)(cycle - rxCycle - (uint8_t)roughly);
    lightStartCycles = (int32_t)since + RX_ENTRY_CYCLES + RESTART_CYCLES;
    OCR1A = (LIGHT_TIMEOUT_TICKS - lightStartCycles / 8) & 0xFFFF; // in the counter's 31st lap
    // An edge after the pin's read sets the flag, and the capture follows as interrupts return.
    EIFR = _BV(INTF1);
    bool lit = LIGHT_SEEN();
    if (!lit)
        EIMSK = _BV(INT1);
    sei();
    if (lit)
        Send("l lit\n");
    else
        timingLight = true;
}

static void WatchLight(void)
{
    uint8_t laps = LIGHT_TIMEOUT_TICKS >> 16;
    bool late = overflows > laps || (overflows == laps && (TIFR1 & _BV(OCF1A)));
    if (!captured && !late)
        return;
    EIMSK = 0; // after this no capture can come, so a late one is not missed
    uint32_t us = captured ? CapturedMicroseconds(lightStartCycles) : UINT32_MAX;
    timingLight = false;
    if (us > LIGHT_TIMEOUT_US) {
        Send("l timeout\n");
        return;
    }
    if (buttonAfterLight) { // armed before the answer goes out, for the earliest press
        lightTicks = CapturedTicks();
        StartButton(lightTicks);
    }
    SendTime("l ", us);
}

static void Execute(void)
{
    if (lineLength == 1 && line[0] == 'r') {
        StopMeasurement();
        StartMeasurement();
    } else if (lineLength == 1 && (line[0] == 'l' || line[0] == 's')) {
        StopMeasurement();
        LED_OFF();
        StartLight();
        buttonAfterLight = line[0] == 's';
    } else if (lineLength == 1 && line[0] == 'e') {
        Send("e\n");
    } else if (lineLength >= 3 && line[0] == 'L' && line[1] == ' ' && (line[2] == '0' || line[2] == '1')) {
        StopMeasurement();
        if (line[2] == '1')
            LED_ON();
        else
            LED_OFF();
    }
}

static void ReceiveBytes(void)
{
    if (!(UCSR0A & _BV(RXC0)))
        return;
    char c = UDR0;
    if (c == '\n' || c == ';') {
        if (!lineTooLong)
            Execute();
        lineLength = 0;
        lineTooLong = false;
    } else if (c != '\r') {
        if (lineLength < LINE_MAX)
            line[lineLength++] = c;
        else
            lineTooLong = true;
    }
    UCSR0B = UART_ON | _BV(RXCIE0); // the next byte gets its stamp, in the counter as the command left it
}

int main(void)
{
    DDRB = _BV(PB5);
    PORTD = _BV(PD2) | _BV(PD3);     // the button's and the sensor's pull-ups
    EICRA = _BV(ISC01) | _BV(ISC11); // INT0 and INT1 on the falling edge: the press, the light
    TCCR0B = _BV(CS00);              // Timer0 counts cycles, for the received bytes' stamps
    TCCR1B = _BV(CS11);              // and Timer1 ticks, from the start on

    UCSR0A = _BV(U2X0); // first: simavr takes the rate as the divisor is written
    UBRR0 = 103;        // 19200 baud with double speed: 19231, 0.16 % off
    UCSR0B = UART_ON | _BV(RXCIE0);
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    sei();

    for (;;) {
        TrackOverflows();
        ReceiveBytes();
        TransmitBytes();
        if (measuring)
            Measure();
        if (timingLight)
            WatchLight();
    }
}
