/* What the console's start with no chip is held to: a C program that only
 * asks hidapi for the MCP2221A chips and prints how many there are. */
#include <hidapi.h>
#include <stdio.h>

int main(void) {
    struct hid_device_info* chips = hid_enumerate(MCP2221A_VendorId, MCP2221A_ProductId);
    unsigned count = 0;
    for (const struct hid_device_info* chip = chips; chip != NULL; chip = chip->next) {
        ++count;
    }
    hid_free_enumeration(chips);
    hid_exit();
    printf("%u\n", count);
    return 0;
}
