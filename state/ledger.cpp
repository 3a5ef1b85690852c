#include "state/ledger.h"

#include <limits.h>
#include <string.h>

#include "app/layout.h"
#include "res/text.h"
#include "state/product.h"
#include "state/registry.h"

// Each value is read into 256 bytes, so the list holds at most 63 codes.
enum { LEDGER_TEXT_SIZE = 256, CODE_LENGTH = 4 };

static const char LIST_VALUE[] = "InstalledWizards";
static const char COUNTER_VALUE[] = "TotalCVInstallations";

static int ParseCounter(const char *text);
static int AddToCounter(int counter, int delta);
static int FindSlot(const char *list, const char *code);
static void RemoveSlot(char *list, int slot, int counter);
static void WriteLedger(HKEY &key, const char *list, int counter);

void UpdateInstalledWizards(int add)
{
    HKEY key = NULL;
    char counterText[LEDGER_TEXT_SIZE];
    char list[LEDGER_TEXT_SIZE];
    int counter;
    int slot;

    // The ledger never creates the product key: without it there is no
    // installation to count.
    if (!OpenRegKey(key, HKEY_CURRENT_USER, PRODUCT_KEY, 1))
        goto done;
    ReadRegString(key, COUNTER_VALUE, counterText, sizeof counterText);
    ReadRegString(key, LIST_VALUE, list, sizeof list);
    counter = ParseCounter(counterText);
    slot = FindSlot(list, installLayout.wizardCode);

    if (add) {
        if (slot != 0)
            goto done;
        // A full list is left as it is rather than written cut.
        if (!AppendText(list, sizeof list, installLayout.wizardCode))
            goto done;
        WriteLedger(key, list, AddToCounter(counter, 1));
    } else {
        if (slot == 0)
            goto done;
        RemoveSlot(list, slot, counter);
        WriteLedger(key, list, AddToCounter(counter, -1));
    }
done:
    CloseRegKey(key);
}

int IsLastInstallation(void)
{
    HKEY key = NULL;
    char counterText[LEDGER_TEXT_SIZE];
    int last = 0;

    if (!OpenRegKey(key, HKEY_CURRENT_USER, PRODUCT_KEY, 1))
        goto done;
    ReadRegString(key, COUNTER_VALUE, counterText, sizeof counterText);
    last = ParseCounter(counterText) == 0;
done:
    CloseRegKey(key);
    return last;
}

// Leading white space, an optional sign, then digits up to the first other
// character; no digits reads as 0. Out-of-range values clamp to the 32-bit
// limits, as strtol does, so a huge counter never wraps to a small one.
static int ParseCounter(const char *text)
{
    static const char SPACE[] = " \t\n\v\f\r";
    long long value = 0;
    int negative = 0;

    while (*text != '\0' && strchr(SPACE, *text) != NULL)
        text++;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    for (; *text >= '0' && *text <= '9'; text++) {
        if (value <= (long long)INT_MAX + 1)
            value = value * 10 + (*text - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int)value;
}

// Saturates at the limits instead of overflowing the signed value.
static int AddToCounter(int counter, int delta)
{
    long long sum = (long long)counter + delta;
    if (sum > INT_MAX)
        return INT_MAX;
    if (sum < INT_MIN)
        return INT_MIN;
    return (int)sum;
}

// Number of the first whole 4-character slot equal to code (from 1), or 0.
// A code of another length can never fill a slot exactly.
static int FindSlot(const char *list, const char *code)
{
    size_t length = strlen(list);
    if (strlen(code) != CODE_LENGTH)
        return 0;
    for (size_t offset = 0; offset + CODE_LENGTH <= length; offset += CODE_LENGTH) {
        if (memcmp(list + offset, code, CODE_LENGTH) == 0)
            return (int)(offset / CODE_LENGTH) + 1;
    }
    return 0;
}

// The counter, not the text's length, says how many slots the list has: a
// counter that disagrees with the list changes what goes.
static void RemoveSlot(char *list, int slot, int counter)
{
    size_t length = strlen(list);
    size_t start = (size_t)(slot - 1) * CODE_LENGTH;

    if (slot >= counter) {
        list[start] = '\0';
        return;
    }
    memmove(list + start, list + start + CODE_LENGTH, length - start - CODE_LENGTH + 1);
    // counter - 1 is at least slot here; beyond the 63 codes a list can hold
    // the cut has nothing left to take.
    if ((long long)(counter - 1) * CODE_LENGTH < (long long)(length - CODE_LENGTH))
        list[(size_t)(counter - 1) * CODE_LENGTH] = '\0';
}

// The list goes first: a failed counter write then leaves the list changed
// and the counter as it was, never the other way round.
static void WriteLedger(HKEY &key, const char *list, int counter)
{
    char counterText[LEDGER_TEXT_SIZE];
    FormatText(counterText, sizeof counterText, "%d", counter);
    WriteRegString(key, LIST_VALUE, list);
    WriteRegString(key, COUNTER_VALUE, counterText);
}
