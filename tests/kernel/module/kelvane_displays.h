/* SPDX-License-Identifier: GPL-2.0 */
#ifndef KELVANE_DISPLAYS_H
#define KELVANE_DISPLAYS_H

/*
 * Displays behind real kernel interfaces, for testing kelvane in a virtual
 * machine. It drives qemu's standard VGA device (1234:1111, class 0x030000)
 * as a small DRM/KMS device, so that connectors, their `ddc` links, the DP
 * AUX channels and the I2C adapters sit where a PC's graphics driver puts
 * them, and i2c-dev, the DRM helpers' I2C-over-AUX and the i2c core are the
 * kernel's own.
 *
 * Every bus has a display (or nothing) behind it that answers EDID at 0x50
 * and DDC/CI at 0x37, and polices the host: a message sooner than 50 ms
 * after the previous exchange, a reply read sooner than 40 ms after its
 * request, a malformed frame, any other address, and any DDC/CI byte to a
 * panel or to a bus without a display are violations. debugfs shows them,
 * the displays' state and a journal of what each display was sent
 * (/sys/kernel/debug/kelvane/); writing to `control` changes what a display
 * does: "label power N", "label nak 1", and over AUX "label empty N" (the
 * next N DDC/CI replies are acknowledged without data) and "label defer N"
 * (each DDC/CI reply is deferred N times before it comes).
 *
 * The topology is the module parameter `topology`: items separated by ';',
 * each "kind:label[:option...]".
 *   hdmi    HDMI connector, `ddc` link to its own adapter
 *   dp      DisplayPort connector, its AUX channel's adapter as a child
 *   amd     DisplayPort as amdgpu: the AUX child and a `ddc` link to a
 *           hardware bus on which every transfer fails
 *   edp     a laptop panel (eDP) with a `ddc` link
 *   nvidia  an adapter under the card that no connector names, and a
 *           connector without a bus whose EDID matches it
 *   dpmst   the same, the adapter named "DPMST" (an MST monitor)
 *   guard   an adapter under a platform device: not a display controller's
 * Options: absent (nothing behind the bus; the connector is disconnected),
 * nak (the display does not answer at 0x37), client (a driver bound at 0x37
 * on the bus), hidden (the connector reads disconnected while its display
 * answers, as an MST root port does), unprobed (the connector is never probed), noconn (no
 * connector for an nvidia or dpmst adapter), zeroedid (the EDID reads as
 * zeros), power=N, edid=N (the EDID's serial; default the item's place).
 *
 * The module is built from the files beside this one: display.c (what
 * answers on a bus, and the logs of what it saw), buses.c (an ordinary
 * adapter and a DP AUX channel), outputs.c (the DRM connectors), card.c
 * (the topology, the adapters and the PCI driver) and main.c (debugfs and
 * the module itself).
 *
 * Never installed nor packed: it exists for the tests.
 */
#include <linux/debugfs.h>
#include <linux/i2c.h>
#include <linux/ktime.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/platform_device.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <linux/uaccess.h>

#include <drm/display/drm_dp_helper.h>
#include <drm/drm_atomic_helper.h>
#include <drm/drm_connector.h>
#include <drm/drm_drv.h>
#include <drm/drm_edid.h>
#include <drm/drm_file.h>
#include <drm/drm_fourcc.h>
#include <drm/drm_ioctl.h>
#include <drm/drm_managed.h>
#include <drm/drm_mode_config.h>
#include <drm/drm_modeset_helper_vtables.h>
#include <drm/drm_probe_helper.h>
#include <drm/drm_simple_kms_helper.h>

#define KD_MAX_OUTPUTS 24
#define KD_LABEL 16
#define KD_EDID_SIZE 128
#define KD_FRAME_MAX 40
#define KD_READ_MAX 256
#define KD_LOG_SIZE 32768

#define KD_DISPLAY_ADDRESS 0x37
#define KD_EEPROM_ADDRESS 0x50
#define KD_REPLY_DELAY_MS 40
#define KD_MESSAGE_GAP_MS 50

enum kd_kind { KD_HDMI, KD_DP, KD_AMD, KD_EDP, KD_NVIDIA, KD_DPMST, KD_GUARD };

/* What answers on one bus. */
struct kd_display {
	char label[KD_LABEL + 4];
	int bus;
	bool present;	/* an EEPROM at 0x50 and a display at 0x37 */
	bool panel;	/* a laptop panel: no DDC/CI, and none may be sent */
	bool naks;	/* DDC/CI off: nothing acknowledges 0x37 */
	bool dead;	/* every transfer fails, as amdgpu's hardware bus on USB4 */
	bool zero_edid;
	/* Over AUX: how many of the next replies come back empty, and how
	 * often each reply's first piece is deferred. */
	unsigned int empty_replies;
	unsigned int defers;
	u8 edid[KD_EDID_SIZE];
	u16 power;
	unsigned int violations;
	s64 get_to_reply_us;	/* the last Get's arrival to its reply's read */

	bool have_end;
	ktime_t last_end;
	bool pending;
	u8 pending_code;
	ktime_t request_time;
	unsigned int eeprom_offset;
	u8 reply[KD_READ_MAX];
};

/* A message being carried over AUX transactions. */
struct kd_aux_message {
	bool open;
	bool nacked;
	bool read;
	bool read_started;
	u16 address;
	size_t length;
	size_t position;
	u8 bytes[KD_FRAME_MAX];
	bool overflow;
	unsigned int defers_left;
	ktime_t started;
	unsigned int transactions;
};

struct kd_output {
	enum kd_kind kind;
	char label[KD_LABEL];
	bool connector_wanted;
	bool probe;
	bool client;
	bool hidden;	/* reads disconnected though its display answers */
	struct kd_display display;	/* on the connector's main bus */
	struct kd_display hardware;	/* amd: the `ddc` bus beside AUX */
	struct i2c_adapter adapter;
	bool adapter_added;
	struct i2c_adapter hardware_adapter;
	bool hardware_added;
	struct drm_dp_aux aux;
	char aux_name[KD_LABEL + 16];
	struct kd_aux_message aux_message;
	bool has_aux;
	struct drm_connector connector;
	struct drm_simple_display_pipe pipe;
	struct i2c_client *bound;
};

struct kd_device {
	struct drm_device drm;
	struct kd_output *outputs;
	int count;
};

/* main.c: the state debugfs shows, under kd_lock. */
extern struct mutex kd_lock;
extern struct kd_output *kd_outputs;
extern int kd_output_count;
extern char *kd_journal;
extern size_t kd_journal_length;
extern char *kd_violation_log;
extern size_t kd_violation_length;
extern struct platform_device *kd_chipset;

/* display.c */
__printf(2, 3) void kd_record(struct kd_display *d, const char *fmt, ...);
__printf(2, 3) void kd_violation(struct kd_display *d, const char *fmt, ...);
void kd_make_edid(u8 *edid, u8 serial);
bool kd_acknowledges(struct kd_display *d, u16 address, bool read);
void kd_write(struct kd_display *d, u16 address, const u8 *bytes, size_t size,
	      ktime_t start, ktime_t now);
void kd_read_begin(struct kd_display *d, u16 address, ktime_t now);
void kd_dead_message(struct kd_display *d, const struct i2c_msg *msg);

/* buses.c */
extern const struct i2c_algorithm kd_algorithm;
ssize_t kd_aux_transfer(struct drm_dp_aux *aux, struct drm_dp_aux_msg *msg);

/* outputs.c */
extern const struct drm_mode_config_funcs kd_mode_config_funcs;
extern const struct drm_driver kd_drm_driver;
int kd_add_connectors(struct kd_device *kd);
void kd_probe_connectors(struct kd_device *kd);

/* card.c */
extern struct pci_driver kd_pci_driver;
extern struct i2c_driver kd_client_driver;

#endif
