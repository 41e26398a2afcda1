// Firmware of the Flinkprobe switch box: an ATmega328P at 16 MHz (Arduino Uno or Nano class).
//
// Wiring: LED (through a resistor) on PB5 = D13, push button from PD2 = D2 (INT0) to ground,
// using the internal pull-up. Serial line 19200 baud, 8N1, ASCII.
//
// From the host, lines ending in line feed or ';' (carriage returns are ignored):
//   r      light the LED and time the button from that instant. The answer is one line
//          "t <microseconds>", after which the LED goes off. A button already held down does not
//          count: the box waits until it has been released for 10 ms, then takes the next press;
//          the time still runs from the LED.
//   L 0    LED off; L 1: LED on. Either cancels a measurement in progress, without an answer.
// Anything else ("T", "R" included) is ignored, and a line longer than LINE_MAX characters is
// dropped whole. A press later than 35 minutes is not answered.
//
// Timing: Timer1 counts at 2 MHz (0.5 us ticks) from the instant the LED lights; the main loop
// extends it to 32 bits. The button's falling edge interrupts, and the first thing the handler
// does is read the counter. Its fixed entry delay is taken off the result.

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

#define LED_ON() (PORTB |= _BV(PB5))
#define LED_OFF() (PORTB &= ~_BV(PB5))
#define BUTTON_DOWN() (!(PIND & _BV(PD2)))

// Written by the button's handler, read by the main loop once `pressed` is set.
volatile uint16_t captureTicks;
volatile uint8_t captureFlags; // TIFR1 right after the capture: was an overflow pending?
volatile uint16_t captureOverflows;
volatile uint8_t pressed;

// Timer1 overflows since the LED lit; kept by the main loop (an interrupt for it could delay the
// button's handler by its whole length).
volatile uint16_t overflows;

static bool measuring; // an "r" waits for its press
static bool armed;     // the button's interrupt is on
static uint32_t releasedSince;

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
                         "sts pressed, r24\n\t"
                         "pop r24\n\t"
                         "reti\n\t" ::[tcntl] "n"(_SFR_MEM_ADDR(TCNT1L)),
        [tcnth] "n"(_SFR_MEM_ADDR(TCNT1H)), [tifr1] "I"(_SFR_IO_ADDR(TIFR1)), [eimsk] "I"(_SFR_IO_ADDR(EIMSK)));
}

static void TrackOverflows(void)
{
    if (!(TIFR1 & _BV(TOV1)) || overflows == UINT16_MAX)
        return;
    cli();
    TIFR1 = _BV(TOV1);
    ++overflows;
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
}

static void StartMeasurement(void)
{
    cli();
    TCCR1B = 0;
    TCNT1 = 0;
    TIFR1 = _BV(TOV1);
    overflows = 0;
    pressed = 0;
    // LED on, prescaler reset, counter on: three fixed instructions, so the start is exact.
    __asm__ __volatile__("sbi %[portb], %[led]\n\t"
                         "out %[gtccr], %[reset]\n\t"
                         "sts %[tccr1b], %[run]\n\t" ::[portb] "I"(_SFR_IO_ADDR(PORTB)),
        [led] "I"(PB5), [gtccr] "I"(_SFR_IO_ADDR(GTCCR)), [reset] "r"((uint8_t)_BV(PSRSYNC)),
        [tccr1b] "n"(_SFR_MEM_ADDR(TCCR1B)), [run] "r"((uint8_t)_BV(CS11)));
    sei();
    measuring = true;
    armed = false;
    releasedSince = 0;
    if (!BUTTON_DOWN())
        Arm();
}

static void Reply(void)
{
    uint32_t ticks = ((uint32_t)captureOverflows << 16) | captureTicks;
    if ((captureFlags & _BV(TOV1)) && captureTicks < 0x8000)
        ticks += 0x10000; // the counter wrapped just before the press, the main loop had not seen it
    // In cycles: the middle of the tick read, less the entry delay, plus the late start; rounded.
    int64_t cycles = (int64_t)ticks * 8 + 4 + START_CYCLES - ENTRY_CYCLES;
    uint32_t us = cycles < 0 ? 0 : (uint32_t)((cycles + 8) / 16);
    char reply[16] = "t ";
    ultoa(us, reply + 2, 10);
    strcat(reply, "\n");
    Send(reply);
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
    } else if (pressed) {
        Reply();
    }
    if (measuring && overflows == UINT16_MAX) {
        LED_OFF();
        StopMeasurement();
    }
}

static void Execute(void)
{
    if (lineLength == 1 && line[0] == 'r') {
        StartMeasurement();
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
    if (c == '\r')
        return;
    if (c == '\n' || c == ';') {
        if (!lineTooLong)
            Execute();
        lineLength = 0;
        lineTooLong = false;
    } else if (lineLength < LINE_MAX) {
        line[lineLength++] = c;
    } else {
        lineTooLong = true;
    }
}

int main(void)
{
    DDRB = _BV(PB5);
    PORTD = _BV(PD2);   // the button's pull-up
    EICRA = _BV(ISC01); // INT0 on the falling edge: the press

    UBRR0 = 103; // 19200 baud with double speed: 19231, 0.16 % off
    UCSR0A = _BV(U2X0);
    UCSR0B = _BV(RXEN0) | _BV(TXEN0);
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    sei();

    for (;;) {
        TrackOverflows();
        ReceiveBytes();
        TransmitBytes();
        if (measuring)
            Measure();
    }
}
