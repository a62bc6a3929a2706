// A Modbus RTU slave on libmodbus for the master-port integration test.
//   modbus_rtu_peer DEVICE ADDRESS REQUESTS
// Serves REQUESTS requests (or stops after 10 s of silence) from a mapping preset with
// holding registers 0..3 = 1111, 2222, 3333, 4444 (hex), coils 0..7 = 1010 0101 (coil 0 first:
// A5) and input registers 0..1 = 0x0102, 0x0304, then prints what the master wrote:
// holding registers 10..13 and 20, and coils 16..23 as one byte.
#include <modbus.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: modbus_rtu_peer DEVICE ADDRESS REQUESTS\n");
        return 2;
    }
    modbus_t* ctx = modbus_new_rtu(argv[1], 9600, 'N', 8, 1);
    if (!ctx) return 2;
    modbus_set_slave(ctx, atoi(argv[2]));
    if (modbus_connect(ctx) != 0) {
        fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
        return 2;
    }
    modbus_set_indication_timeout(ctx, 10, 0);
    modbus_mapping_t* map = modbus_mapping_new(32, 32, 32, 32);
    const uint16_t regs[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    for (int i = 0; i < 4; ++i) map->tab_registers[i] = regs[i];
    for (int i = 0; i < 8; ++i) map->tab_bits[i] = static_cast<std::uint8_t>((0xA5 >> i) & 1);
    map->tab_input_registers[0] = 0x0102;
    map->tab_input_registers[1] = 0x0304;
    const int want = atoi(argv[3]);
    int served = 0;
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (served < want) {
        const int rc = modbus_receive(ctx, query);
        if (rc > 0) {
            modbus_reply(ctx, query, rc, map);
            ++served;
        } else if (rc < 0 && errno == ETIMEDOUT) {
            break;
        }
    }
    unsigned coils = 0;
    for (int i = 0; i < 8; ++i) coils |= static_cast<unsigned>(map->tab_bits[16 + i] & 1) << i;
    printf("served=%d R10=%04X R11=%04X R12=%04X R13=%04X R20=%04X C16=%02X\n", served, map->tab_registers[10],
           map->tab_registers[11], map->tab_registers[12], map->tab_registers[13], map->tab_registers[20], coils);
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}
