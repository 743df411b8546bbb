// SPDX-License-Identifier: GPL-2.0
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

static char *topology = "";
module_param(topology, charp, 0444);
MODULE_PARM_DESC(topology, "the connectors, adapters and displays to emulate");

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

static DEFINE_MUTEX(kd_lock);
static struct kd_output *kd_outputs;
static int kd_output_count;
static char *kd_journal;
static size_t kd_journal_length;
static char *kd_violation_log;
static size_t kd_violation_length;
static struct dentry *kd_debugfs;
static struct platform_device *kd_chipset;

/* ---- the log of what the displays saw, and of their complaints ---- */

static __printf(2, 3) void kd_record(struct kd_display *d, const char *fmt, ...)
{
	va_list args;
	char line[96];

	va_start(args, fmt);
	vscnprintf(line, sizeof(line), fmt, args);
	va_end(args);
	if (kd_journal_length + strlen(d->label) + strlen(line) + 3 < KD_LOG_SIZE)
		kd_journal_length += scnprintf(kd_journal + kd_journal_length,
					       KD_LOG_SIZE - kd_journal_length, "%s %s\n",
					       d->label, line);
}

static __printf(2, 3) void kd_violation(struct kd_display *d, const char *fmt, ...)
{
	va_list args;
	char line[160];

	va_start(args, fmt);
	vscnprintf(line, sizeof(line), fmt, args);
	va_end(args);
	d->violations++;
	if (kd_violation_length + strlen(d->label) + strlen(line) + 4 < KD_LOG_SIZE)
		kd_violation_length += scnprintf(kd_violation_log + kd_violation_length,
						 KD_LOG_SIZE - kd_violation_length,
						 "%s: %s\n", d->label, line);
	pr_warn("kelvane_displays: %s: %s\n", d->label, line);
}

/* ---- one display: the DDC/CI endpoint and the EDID EEPROM ---- */

static u8 kd_xor(u8 seed, const u8 *bytes, size_t size)
{
	while (size--)
		seed ^= *bytes++;
	return seed;
}

static s64 kd_ms_between(ktime_t from, ktime_t to)
{
	return ktime_ms_delta(to, from);
}

static void kd_hex(char *text, size_t size, const u8 *bytes, size_t count)
{
	size_t used = 0;
	size_t i;

	text[0] = '\0';
	for (i = 0; i < count && used + 4 < size; i++)
		used += scnprintf(text + used, size - used, " %02X", bytes[i]);
}

static void kd_make_edid(u8 *edid, u8 serial)
{
	static const u8 header[] = { 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00 };
	u8 sum = 0;
	int i;

	memset(edid, 0, KD_EDID_SIZE);
	memcpy(edid, header, sizeof(header));
	edid[8] = 0x2C; /* manufacturer "KEL" */
	edid[9] = 0xAC;
	edid[12] = serial;
	edid[18] = 1; /* EDID 1.4 */
	edid[19] = 4;
	for (i = 0; i < KD_EDID_SIZE - 1; i++)
		sum += edid[i];
	edid[KD_EDID_SIZE - 1] = 0x100 - sum;
}

/*
 * The address phase of a message: whether anything acknowledges it. A
 * refused DDC/CI address is a NAK, as from a display with DDC/CI off.
 */
static bool kd_acknowledges(struct kd_display *d, u16 address, bool read)
{
	if (address == KD_EEPROM_ADDRESS) {
		if (!read)
			kd_record(d, "edid");
		return d->present;
	}
	if (address != KD_DISPLAY_ADDRESS) {
		kd_violation(d, "addressed 0x%02X", address);
		return false;
	}
	if (d->panel)
		kd_violation(d, "DDC/CI sent to a laptop panel");
	else if (!d->present)
		kd_violation(d, "DDC/CI sent to a bus without a display");
	if (!d->present || d->panel || d->naks) {
		kd_record(d, "nak");
		return false;
	}
	return true;
}

/*
 * A message spans its start (the address) to its end (the stop): the gap is
 * counted to its start and the reply's wait from its end, whichever is the
 * stricter for the host. An ordinary adapter delivers it whole (start = end).
 */
static void kd_display_write(struct kd_display *d, const u8 *frame, size_t size,
			     ktime_t start, ktime_t now)
{
	char text[3 * KD_FRAME_MAX + 1];
	bool framed, get, set;

	if (d->have_end && kd_ms_between(d->last_end, start) < KD_MESSAGE_GAP_MS)
		kd_violation(d, "message %lld ms after the previous exchange",
			     kd_ms_between(d->last_end, start));
	if (d->pending) {
		kd_violation(d, "new message while a reply was still due");
		d->pending = false;
	}
	d->have_end = true;
	d->last_end = now;
	framed = size >= 3 && frame[0] == 0x51 && frame[1] == (0x80 | (size - 3)) &&
		 kd_xor(KD_DISPLAY_ADDRESS << 1, frame, size) == 0;
	get = framed && size == 5 && frame[2] == 0x01;
	set = framed && size == 7 && frame[2] == 0x03;
	if (!get && !set) {
		kd_hex(text, sizeof(text), frame, size);
		kd_violation(d, "not a Get or Set VCP frame:%s", text);
		return;
	}
	if (get) {
		kd_record(d, "get %02X", frame[3]);
		d->pending = true;
		d->pending_code = frame[3];
		d->request_time = now;
	} else {
		kd_record(d, "set %02X %u", frame[3], (frame[4] << 8) | frame[5]);
		if (frame[3] == 0xD6)
			d->power = (frame[4] << 8) | frame[5];
	}
}

/* The reply to the pending request, padded as a bus pulled up reads. */
static void kd_display_reply(struct kd_display *d, ktime_t now)
{
	u8 *r = d->reply;
	bool supported;

	memset(r, 0xFF, KD_READ_MAX);
	if (!d->pending) {
		kd_violation(d, "read without a request");
		r[0] = 0x6E;
		r[1] = 0x80;
		r[2] = 0x50 ^ 0x6E ^ 0x80;
	} else {
		if (kd_ms_between(d->request_time, now) < KD_REPLY_DELAY_MS)
			kd_violation(d, "reply read %lld ms after the request",
				     kd_ms_between(d->request_time, now));
		d->get_to_reply_us = ktime_us_delta(now, d->request_time);
		supported = d->pending_code == 0xD6;
		r[0] = 0x6E;
		r[1] = 0x88;
		r[2] = 0x02;
		r[3] = supported ? 0x00 : 0x01;
		r[4] = d->pending_code;
		r[5] = 0x00;
		r[6] = 0x00;
		r[7] = supported ? 5 : 0;
		r[8] = supported ? d->power >> 8 : 0;
		r[9] = supported ? d->power & 0xFF : 0;
		r[10] = kd_xor(0x50, r, 10);
	}
	d->pending = false;
	d->have_end = true;
	d->last_end = now;
}

static void kd_eeprom_write(struct kd_display *d, const u8 *bytes, size_t size)
{
	char text[3 * KD_FRAME_MAX + 1];

	if (size != 1 || bytes[0] != 0) {
		kd_hex(text, sizeof(text), bytes, size);
		kd_violation(d, "wrote to the EDID EEPROM:%s", text);
	}
	if (d->pending)
		kd_violation(d, "EDID read while a DDC/CI reply was due");
	if (size > 0)
		d->eeprom_offset = bytes[0];
}

static void kd_eeprom_reply(struct kd_display *d)
{
	unsigned int i;

	for (i = 0; i < KD_READ_MAX; i++) {
		unsigned int at = d->eeprom_offset + i;

		d->reply[i] = at < KD_EDID_SIZE ? (d->zero_edid ? 0 : d->edid[at]) : 0xFF;
	}
}

/* A whole write message, once its address was acknowledged. */
static void kd_write(struct kd_display *d, u16 address, const u8 *bytes, size_t size,
		     ktime_t start, ktime_t now)
{
	if (address == KD_DISPLAY_ADDRESS)
		kd_display_write(d, bytes, size, start, now);
	else
		kd_eeprom_write(d, bytes, size);
}

/* Prepares what a read message returns, in d->reply. */
static void kd_read_begin(struct kd_display *d, u16 address, ktime_t now)
{
	if (address == KD_DISPLAY_ADDRESS)
		kd_display_reply(d, now);
	else
		kd_eeprom_reply(d);
}

/* Every message of a dead bus fails; what was sent is still recorded. */
static void kd_dead_message(struct kd_display *d, const struct i2c_msg *msg)
{
	if (msg->addr == KD_EEPROM_ADDRESS && !(msg->flags & I2C_M_RD))
		kd_record(d, "edid");
	else if (msg->addr == KD_DISPLAY_ADDRESS && !(msg->flags & I2C_M_RD) && msg->len >= 4)
		kd_record(d, "%s %02X", msg->buf[2] == 0x01 ? "get" : "set", msg->buf[3]);
	else if (msg->addr != KD_DISPLAY_ADDRESS && msg->addr != KD_EEPROM_ADDRESS)
		kd_violation(d, "addressed 0x%02X", msg->addr);
}

/* ---- an ordinary adapter: whole messages ---- */

static int kd_master_xfer(struct i2c_adapter *adapter, struct i2c_msg *msgs, int num)
{
	struct kd_display *d = i2c_get_adapdata(adapter);
	int i;
	int result = num;

	mutex_lock(&kd_lock);
	for (i = 0; i < num; i++) {
		struct i2c_msg *msg = &msgs[i];
		bool read = msg->flags & I2C_M_RD;
		ktime_t now = ktime_get();

		if (d->dead) {
			kd_dead_message(d, msg);
			result = -EIO;
			break;
		}
		if (!kd_acknowledges(d, msg->addr, read)) {
			result = -ENXIO;
			break;
		}
		if (read) {
			kd_read_begin(d, msg->addr, now);
			memcpy(msg->buf, d->reply, min_t(size_t, msg->len, KD_READ_MAX));
		} else {
			kd_write(d, msg->addr, msg->buf, msg->len, now, now);
		}
	}
	mutex_unlock(&kd_lock);
	return result;
}

static u32 kd_functionality(struct i2c_adapter *adapter)
{
	return I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
}

static const struct i2c_algorithm kd_algorithm = {
	.master_xfer = kd_master_xfer,
	.functionality = kd_functionality,
};

/* ---- a DP AUX channel: the DRM helper's I2C-over-AUX transactions ---- */

static void kd_aux_end_message(struct kd_display *d, struct kd_aux_message *m, ktime_t now)
{
	if (m->open && !m->nacked && !m->read) {
		if (m->overflow)
			kd_violation(d, "a message longer than %d bytes", KD_FRAME_MAX);
		else
			kd_write(d, m->address, m->bytes, m->length, m->started, now);
	}
	/* The exchange ends when the reply's last piece has been read. */
	if (m->open && m->read && m->read_started && m->address == KD_DISPLAY_ADDRESS)
		d->last_end = now;
	m->open = false;
}

static ssize_t kd_aux_transfer(struct drm_dp_aux *aux, struct drm_dp_aux_msg *msg)
{
	struct kd_output *o = container_of(aux, struct kd_output, aux);
	struct kd_display *d = &o->display;
	struct kd_aux_message *m = &o->aux_message;
	u8 request = msg->request & ~DP_AUX_I2C_MOT;
	bool read = request == DP_AUX_I2C_READ;
	ktime_t now = ktime_get();
	ssize_t result = msg->size;

	/* Native transactions (DPCD) are not what this channel is for here. */
	if (request & 0x8)
		return -EIO;

	mutex_lock(&kd_lock);
	m->transactions++;
	msg->reply = DP_AUX_NATIVE_REPLY_ACK | DP_AUX_I2C_REPLY_ACK;
	if (msg->size == 0) {
		/* An address-only transaction: a start (MOT set) or the stop. */
		kd_aux_end_message(d, m, now);
		if (msg->request & DP_AUX_I2C_MOT) {
			m->open = true;
			m->read = read;
			m->read_started = false;
			m->address = msg->address;
			m->length = 0;
			m->position = 0;
			m->overflow = false;
			m->started = now;
			m->defers_left = d->defers;
			m->nacked = !kd_acknowledges(d, msg->address, read);
			if (m->nacked)
				msg->reply = DP_AUX_NATIVE_REPLY_ACK | DP_AUX_I2C_REPLY_NACK;
		}
		result = 0;
	} else if (!m->open || m->nacked || m->read != read || m->address != msg->address) {
		msg->reply = DP_AUX_NATIVE_REPLY_ACK | DP_AUX_I2C_REPLY_NACK;
		result = 0;
	} else if (read && m->address == KD_DISPLAY_ADDRESS && !m->read_started &&
		   m->defers_left > 0) {
		/* Not ready yet: the helper asks again, a moment later. */
		m->defers_left--;
		msg->reply = DP_AUX_NATIVE_REPLY_ACK | DP_AUX_I2C_REPLY_DEFER;
		result = 0;
	} else if (read) {
		if (!m->read_started) {
			kd_read_begin(d, m->address, m->started);
			m->read_started = true;
			if (m->address == KD_DISPLAY_ADDRESS && d->empty_replies > 0) {
				/* Acknowledged, with no data: the reply is lost. */
				d->empty_replies--;
				result = 0;
				goto out;
			}
		}
		if (m->position + msg->size <= KD_READ_MAX) {
			memcpy(msg->buffer, d->reply + m->position, msg->size);
		} else {
			memset(msg->buffer, 0xFF, msg->size);
		}
		m->position += msg->size;
	} else {
		if (m->length + msg->size <= KD_FRAME_MAX)
			memcpy(m->bytes + m->length, msg->buffer, msg->size);
		else
			m->overflow = true;
		m->length += msg->size;
	}
out:
	mutex_unlock(&kd_lock);
	return result;
}

/* ---- DRM: connectors and simple display pipes ---- */

static struct kd_output *kd_output_of(struct drm_connector *connector)
{
	return container_of(connector, struct kd_output, connector);
}

static enum drm_connector_status kd_detect(struct drm_connector *connector, bool force)
{
	struct kd_output *o = kd_output_of(connector);

	return o->display.present && !o->hidden ? connector_status_connected
						: connector_status_disconnected;
}

static int kd_get_modes(struct drm_connector *connector)
{
	struct kd_output *o = kd_output_of(connector);
	struct i2c_adapter *ddc = NULL;
	struct edid *edid;
	int count;

	if (o->has_aux)
		ddc = &o->aux.ddc;
	else if (o->adapter_added && o->kind != KD_NVIDIA && o->kind != KD_DPMST)
		ddc = &o->adapter;
	if (ddc) {
		edid = drm_get_edid(connector, ddc);
	} else {
		/* As the NVIDIA driver and the MST helper do, from their own reads. */
		edid = kmemdup(o->display.edid, KD_EDID_SIZE, GFP_KERNEL);
	}
	drm_connector_update_edid_property(connector, edid);
	count = edid ? drm_add_edid_modes(connector, edid) : 0;
	kfree(edid);
	return count;
}

static int kd_late_register(struct drm_connector *connector)
{
	struct kd_output *o = kd_output_of(connector);

	if (!o->has_aux)
		return 0;
	/* As amdgpu and i915 do: the AUX adapter becomes the connector's child. */
	o->aux.dev = connector->kdev;
	return drm_dp_aux_register(&o->aux);
}

static void kd_early_unregister(struct drm_connector *connector)
{
	struct kd_output *o = kd_output_of(connector);

	if (o->has_aux)
		drm_dp_aux_unregister(&o->aux);
}

static const struct drm_connector_funcs kd_connector_funcs = {
	.detect = kd_detect,
	.fill_modes = drm_helper_probe_single_connector_modes,
	.destroy = drm_connector_cleanup,
	.reset = drm_atomic_helper_connector_reset,
	.atomic_duplicate_state = drm_atomic_helper_connector_duplicate_state,
	.atomic_destroy_state = drm_atomic_helper_connector_destroy_state,
	.late_register = kd_late_register,
	.early_unregister = kd_early_unregister,
};

static const struct drm_connector_helper_funcs kd_connector_helper_funcs = {
	.get_modes = kd_get_modes,
};

static void kd_pipe_enable(struct drm_simple_display_pipe *pipe,
			   struct drm_crtc_state *crtc_state,
			   struct drm_plane_state *plane_state)
{
}

static const struct drm_simple_display_pipe_funcs kd_pipe_funcs = {
	.enable = kd_pipe_enable,
};

static const u32 kd_formats[] = { DRM_FORMAT_XRGB8888 };

static struct drm_framebuffer *kd_fb_create(struct drm_device *dev, struct drm_file *file,
					    const struct drm_mode_fb_cmd2 *cmd)
{
	return ERR_PTR(-ENODEV);
}

static const struct drm_mode_config_funcs kd_mode_config_funcs = {
	.fb_create = kd_fb_create,
	.atomic_check = drm_atomic_helper_check,
	.atomic_commit = drm_atomic_helper_commit,
};

static const struct file_operations kd_fops = {
	.owner = THIS_MODULE,
	.open = drm_open,
	.release = drm_release,
	.unlocked_ioctl = drm_ioctl,
	.compat_ioctl = drm_compat_ioctl,
	.poll = drm_poll,
	.read = drm_read,
	.llseek = noop_llseek,
};

static const struct drm_driver kd_drm_driver = {
	.driver_features = DRIVER_MODESET | DRIVER_ATOMIC,
	.fops = &kd_fops,
	.name = "kelvane_displays",
	.desc = "displays emulated for kelvane's tests",
	.date = "20261211",
	.major = 1,
	.minor = 0,
};

/* ---- the bound client at 0x37, as the ddcci driver binds it ---- */

static int kd_client_probe(struct i2c_client *client)
{
	return 0;
}

static const struct i2c_device_id kd_client_ids[] = {
	{ "kelvane-ddcci", 0 },
	{}
};

static struct i2c_driver kd_client_driver = {
	.driver = { .name = "kelvane-ddcci" },
	.probe_new = kd_client_probe,
	.id_table = kd_client_ids,
};

/* ---- the topology ---- */

static int kd_parse_item(char *item, int place, struct kd_output *o)
{
	char *field = strsep(&item, ":");
	unsigned int value;
	int serial = place + 1;

	if (!strcmp(field, "hdmi"))
		o->kind = KD_HDMI;
	else if (!strcmp(field, "dp"))
		o->kind = KD_DP;
	else if (!strcmp(field, "amd"))
		o->kind = KD_AMD;
	else if (!strcmp(field, "edp"))
		o->kind = KD_EDP;
	else if (!strcmp(field, "nvidia"))
		o->kind = KD_NVIDIA;
	else if (!strcmp(field, "dpmst"))
		o->kind = KD_DPMST;
	else if (!strcmp(field, "guard"))
		o->kind = KD_GUARD;
	else
		return -EINVAL;
	field = strsep(&item, ":");
	if (!field || !*field || strlen(field) >= KD_LABEL)
		return -EINVAL;
	strscpy(o->label, field, KD_LABEL);
	o->display.present = true;
	o->display.power = 1;
	o->connector_wanted = o->kind != KD_GUARD;
	o->probe = true;
	while ((field = strsep(&item, ":"))) {
		if (!strcmp(field, "absent"))
			o->display.present = false;
		else if (!strcmp(field, "nak"))
			o->display.naks = true;
		else if (!strcmp(field, "client"))
			o->client = true;
		else if (!strcmp(field, "hidden"))
			o->hidden = true;
		else if (!strcmp(field, "unprobed"))
			o->probe = false;
		else if (!strcmp(field, "noconn"))
			o->connector_wanted = false;
		else if (!strcmp(field, "zeroedid"))
			o->display.zero_edid = true;

		else if (sscanf(field, "power=%u", &value) == 1)
			o->display.power = value;
		else if (sscanf(field, "edid=%u", &value) == 1)
			serial = value;
		else
			return -EINVAL;
	}
	o->display.panel = o->kind == KD_EDP;
	kd_make_edid(o->display.edid, serial);
	strscpy(o->display.label, o->label, sizeof(o->display.label));
	snprintf(o->hardware.label, sizeof(o->hardware.label), "%s-hw", o->label);
	o->hardware.dead = true;
	return 0;
}

static int kd_parse(struct drm_device *drm, struct kd_device *kd)
{
	char *copy = kstrdup(topology, GFP_KERNEL);
	char *rest = copy;
	char *item;
	int err = 0;

	if (!copy)
		return -ENOMEM;
	kd->outputs = drmm_kcalloc(drm, KD_MAX_OUTPUTS, sizeof(*kd->outputs), GFP_KERNEL);
	if (!kd->outputs) {
		kfree(copy);
		return -ENOMEM;
	}
	while ((item = strsep(&rest, ";"))) {
		if (!*item)
			continue;
		if (kd->count == KD_MAX_OUTPUTS) {
			err = -E2BIG;
			break;
		}
		err = kd_parse_item(item, kd->count, &kd->outputs[kd->count]);
		if (err) {
			pr_err("kelvane_displays: cannot read the topology item \"%s\"\n", item);
			break;
		}
		kd->count++;
	}
	kfree(copy);
	return err;
}

static int kd_add_adapter(struct i2c_adapter *adapter, struct kd_display *d,
			  struct device *parent, const char *name)
{
	int err;

	adapter->owner = THIS_MODULE;
	adapter->algo = &kd_algorithm;
	adapter->dev.parent = parent;
	strscpy(adapter->name, name, sizeof(adapter->name));
	i2c_set_adapdata(adapter, d);
	err = i2c_add_adapter(adapter);
	if (!err)
		d->bus = adapter->nr;
	return err;
}

static int kd_add_adapters(struct kd_device *kd, struct pci_dev *pdev)
{
	int nvidia = 0;
	int i, err;

	for (i = 0; i < kd->count; i++) {
		struct kd_output *o = &kd->outputs[i];
		struct device *parent = &pdev->dev;
		char name[48];

		switch (o->kind) {
		case KD_HDMI:
		case KD_EDP:
			snprintf(name, sizeof(name), "kelvane ddc %s", o->label);
			break;
		case KD_NVIDIA:
			/* The driver's own name ends with a newline. */
			snprintf(name, sizeof(name), "NVIDIA i2c adapter %d at 1:00.0\n", ++nvidia);
			break;
		case KD_DPMST:
			strscpy(name, "DPMST", sizeof(name));
			break;
		case KD_GUARD:
			parent = &kd_chipset->dev;
			snprintf(name, sizeof(name), "kelvane chipset %s", o->label);
			break;
		case KD_AMD:
			snprintf(name, sizeof(name), "kelvane hw bus %s", o->label);
			err = kd_add_adapter(&o->hardware_adapter, &o->hardware, parent, name);
			if (err)
				return err;
			o->hardware_added = true;
			continue;
		case KD_DP:
			continue;
		}
		err = kd_add_adapter(&o->adapter, &o->display, parent, name);
		if (err)
			return err;
		o->adapter_added = true;
		if (o->client) {
			struct i2c_board_info info = { I2C_BOARD_INFO("kelvane-ddcci",
								     KD_DISPLAY_ADDRESS) };

			o->bound = i2c_new_client_device(&o->adapter, &info);
			if (IS_ERR(o->bound))
				return PTR_ERR(o->bound);
		}
	}
	return 0;
}

static int kd_add_connectors(struct kd_device *kd)
{
	struct drm_device *drm = &kd->drm;
	int i, err;

	for (i = 0; i < kd->count; i++) {
		struct kd_output *o = &kd->outputs[i];
		struct i2c_adapter *ddc = NULL;
		int type = DRM_MODE_CONNECTOR_DisplayPort;

		if (!o->connector_wanted)
			continue;
		switch (o->kind) {
		case KD_HDMI:
			type = DRM_MODE_CONNECTOR_HDMIA;
			ddc = &o->adapter;
			break;
		case KD_EDP:
			type = DRM_MODE_CONNECTOR_eDP;
			ddc = &o->adapter;
			break;
		case KD_AMD:
			ddc = &o->hardware_adapter;
			fallthrough;
		case KD_DP:
			drm_dp_aux_init(&o->aux);
			snprintf(o->aux_name, sizeof(o->aux_name), "kelvane aux %s", o->label);
			o->aux.name = o->aux_name;
			o->aux.drm_dev = drm;
			o->aux.transfer = kd_aux_transfer;
			o->has_aux = true;
			break;
		default:
			break;
		}
		err = ddc ? drm_connector_init_with_ddc(drm, &o->connector, &kd_connector_funcs,
							type, ddc)
			  : drm_connector_init(drm, &o->connector, &kd_connector_funcs, type);
		if (err)
			return err;
		drm_connector_helper_add(&o->connector, &kd_connector_helper_funcs);
		err = drm_simple_display_pipe_init(drm, &o->pipe, &kd_pipe_funcs, kd_formats,
						   ARRAY_SIZE(kd_formats), NULL, &o->connector);
		if (err)
			return err;
	}
	return 0;
}

static void kd_remove_adapters(struct kd_device *kd)
{
	int i;

	for (i = kd->count - 1; i >= 0; i--) {
		struct kd_output *o = &kd->outputs[i];

		if (o->adapter_added)
			i2c_del_adapter(&o->adapter);
		if (o->hardware_added)
			i2c_del_adapter(&o->hardware_adapter);
		o->adapter_added = false;
		o->hardware_added = false;
	}
}

/* As `echo detect > status` does, for the connectors meant to be probed. */
static void kd_probe_connectors(struct kd_device *kd)
{
	struct drm_device *drm = &kd->drm;
	int i;

	mutex_lock(&drm->mode_config.mutex);
	for (i = 0; i < kd->count; i++) {
		struct kd_output *o = &kd->outputs[i];

		if (o->connector_wanted && o->probe)
			o->connector.funcs->fill_modes(&o->connector,
						       drm->mode_config.max_width,
						       drm->mode_config.max_height);
	}
	mutex_unlock(&drm->mode_config.mutex);
}

static int kd_pci_probe(struct pci_dev *pdev, const struct pci_device_id *id)
{
	struct kd_device *kd;
	struct drm_device *drm;
	int err;

	if (kd_outputs)
		return -EBUSY; /* one card is all the tests need */
	kd = devm_drm_dev_alloc(&pdev->dev, &kd_drm_driver, struct kd_device, drm);
	if (IS_ERR(kd))
		return PTR_ERR(kd);
	drm = &kd->drm;
	/* Before the mode config, so that it is freed after the connectors in it. */
	err = kd_parse(drm, kd);
	if (err)
		return err;
	err = drmm_mode_config_init(drm);
	if (err)
		return err;
	drm->mode_config.min_width = 640;
	drm->mode_config.min_height = 480;
	drm->mode_config.max_width = 4096;
	drm->mode_config.max_height = 4096;
	drm->mode_config.funcs = &kd_mode_config_funcs;

	err = kd_add_adapters(kd, pdev);
	if (!err)
		err = kd_add_connectors(kd);
	if (err)
		goto fail;
	drm_mode_config_reset(drm);
	pci_set_drvdata(pdev, kd);
	err = drm_dev_register(drm, 0);
	if (err)
		goto fail;
	mutex_lock(&kd_lock);
	kd_outputs = kd->outputs;
	kd_output_count = kd->count;
	mutex_unlock(&kd_lock);
	kd_probe_connectors(kd);
	return 0;

fail:
	kd_remove_adapters(kd);
	return err;
}

static void kd_pci_remove(struct pci_dev *pdev)
{
	struct kd_device *kd = pci_get_drvdata(pdev);

	mutex_lock(&kd_lock);
	kd_outputs = NULL;
	kd_output_count = 0;
	mutex_unlock(&kd_lock);
	drm_dev_unplug(&kd->drm);
	drm_atomic_helper_shutdown(&kd->drm);
	kd_remove_adapters(kd);
}

static const struct pci_device_id kd_pci_ids[] = {
	{ PCI_DEVICE(0x1234, 0x1111) },
	{}
};
MODULE_DEVICE_TABLE(pci, kd_pci_ids);

static struct pci_driver kd_pci_driver = {
	.name = "kelvane_displays",
	.id_table = kd_pci_ids,
	.probe = kd_pci_probe,
	.remove = kd_pci_remove,
};

/* ---- debugfs ---- */

static int kd_displays_show(struct seq_file *s, void *unused)
{
	int i;

	mutex_lock(&kd_lock);
	for (i = 0; i < kd_output_count; i++) {
		struct kd_output *o = &kd_outputs[i];
		struct kd_display *d = &o->display;
		int bus = o->has_aux ? o->aux.ddc.nr : o->adapter_added ? d->bus : -1;

		seq_printf(s, "%s bus=%d power=%u violations=%u aux_transactions=%u\n", d->label,
			   bus, d->power, d->violations, o->aux_message.transactions);
		if (o->hardware_added)
			seq_printf(s, "%s bus=%d power=0 violations=%u aux_transactions=0\n",
				   o->hardware.label, o->hardware.bus, o->hardware.violations);
	}
	mutex_unlock(&kd_lock);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(kd_displays);

/* For the benchmark: the module's clock, and each display's last Get. */
static int kd_timings_show(struct seq_file *s, void *unused)
{
	int i;

	mutex_lock(&kd_lock);
	seq_printf(s, "now_us %lld\n", ktime_to_us(ktime_get()));
	for (i = 0; i < kd_output_count; i++)
		seq_printf(s, "%s get_to_reply_us %lld\n", kd_outputs[i].display.label,
			   kd_outputs[i].display.get_to_reply_us);
	mutex_unlock(&kd_lock);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(kd_timings);

static ssize_t kd_log_read(char *log, size_t *length, char __user *buf, size_t count,
			   loff_t *pos)
{
	ssize_t result;

	mutex_lock(&kd_lock);
	result = simple_read_from_buffer(buf, count, pos, log, *length);
	mutex_unlock(&kd_lock);
	return result;
}

static ssize_t kd_log_clear(char *log, size_t *length, size_t count)
{
	mutex_lock(&kd_lock);
	*length = 0;
	log[0] = '\0';
	mutex_unlock(&kd_lock);
	return count;
}

static ssize_t kd_journal_read(struct file *f, char __user *buf, size_t count, loff_t *pos)
{
	return kd_log_read(kd_journal, &kd_journal_length, buf, count, pos);
}

/* A new journal also counts the AUX transactions anew. */
static ssize_t kd_journal_write(struct file *f, const char __user *buf, size_t count,
				loff_t *pos)
{
	int i;

	mutex_lock(&kd_lock);
	for (i = 0; i < kd_output_count; i++)
		kd_outputs[i].aux_message.transactions = 0;
	mutex_unlock(&kd_lock);
	return kd_log_clear(kd_journal, &kd_journal_length, count);
}

static ssize_t kd_violations_read(struct file *f, char __user *buf, size_t count, loff_t *pos)
{
	return kd_log_read(kd_violation_log, &kd_violation_length, buf, count, pos);
}

/* A new log also counts each display's violations anew. */
static ssize_t kd_violations_write(struct file *f, const char __user *buf, size_t count,
				   loff_t *pos)
{
	int i;

	mutex_lock(&kd_lock);
	for (i = 0; i < kd_output_count; i++) {
		kd_outputs[i].display.violations = 0;
		kd_outputs[i].hardware.violations = 0;
	}
	mutex_unlock(&kd_lock);
	return kd_log_clear(kd_violation_log, &kd_violation_length, count);
}

/* "label power|nak|empty|defer N": what a display does from now on. */
static ssize_t kd_control_write(struct file *f, const char __user *buf, size_t count,
				loff_t *pos)
{
	char text[64];
	char label[KD_LABEL];
	char what[8];
	unsigned int value;
	ssize_t result = -EINVAL;
	int i;

	if (count >= sizeof(text))
		return -EINVAL;
	if (copy_from_user(text, buf, count))
		return -EFAULT;
	text[count] = '\0';
	if (sscanf(text, "%15s %7s %u", label, what, &value) != 3)
		return -EINVAL;
	mutex_lock(&kd_lock);
	for (i = 0; i < kd_output_count; i++) {
		struct kd_display *d = &kd_outputs[i].display;

		if (strcmp(d->label, label))
			continue;
		if (!strcmp(what, "power")) {
			d->power = value;
			result = count;
		} else if (!strcmp(what, "nak")) {
			d->naks = value != 0;
			result = count;
		} else if (!strcmp(what, "empty")) {
			d->empty_replies = value;
			result = count;
		} else if (!strcmp(what, "defer")) {
			d->defers = value;
			result = count;
		}
	}
	mutex_unlock(&kd_lock);
	return result;
}

static const struct file_operations kd_control_fops = {
	.owner = THIS_MODULE,
	.write = kd_control_write,
	.llseek = noop_llseek,
};

static const struct file_operations kd_journal_fops = {
	.owner = THIS_MODULE,
	.read = kd_journal_read,
	.write = kd_journal_write,
	.llseek = default_llseek,
};

static const struct file_operations kd_violations_fops = {
	.owner = THIS_MODULE,
	.read = kd_violations_read,
	.write = kd_violations_write,
	.llseek = default_llseek,
};

static int __init kd_init(void)
{
	int err;

	kd_journal = kzalloc(KD_LOG_SIZE, GFP_KERNEL);
	kd_violation_log = kzalloc(KD_LOG_SIZE, GFP_KERNEL);
	if (!kd_journal || !kd_violation_log) {
		err = -ENOMEM;
		goto free_logs;
	}
	kd_chipset = platform_device_register_simple("kelvane-chipset", -1, NULL, 0);
	if (IS_ERR(kd_chipset)) {
		err = PTR_ERR(kd_chipset);
		goto free_logs;
	}
	kd_debugfs = debugfs_create_dir("kelvane", NULL);
	debugfs_create_file("displays", 0444, kd_debugfs, NULL, &kd_displays_fops);
	debugfs_create_file("journal", 0644, kd_debugfs, NULL, &kd_journal_fops);
	debugfs_create_file("violations", 0644, kd_debugfs, NULL, &kd_violations_fops);
	debugfs_create_file("control", 0200, kd_debugfs, NULL, &kd_control_fops);
	debugfs_create_file("timings", 0444, kd_debugfs, NULL, &kd_timings_fops);
	err = i2c_add_driver(&kd_client_driver);
	if (err)
		goto remove_debugfs;
	err = pci_register_driver(&kd_pci_driver);
	if (err)
		goto remove_client_driver;
	return 0;

remove_client_driver:
	i2c_del_driver(&kd_client_driver);
remove_debugfs:
	debugfs_remove_recursive(kd_debugfs);
	platform_device_unregister(kd_chipset);
free_logs:
	kfree(kd_journal);
	kfree(kd_violation_log);
	return err;
}

static void __exit kd_exit(void)
{
	pci_unregister_driver(&kd_pci_driver);
	i2c_del_driver(&kd_client_driver);
	debugfs_remove_recursive(kd_debugfs);
	platform_device_unregister(kd_chipset);
	kfree(kd_journal);
	kfree(kd_violation_log);
}

module_init(kd_init);
module_exit(kd_exit);

MODULE_DESCRIPTION("Displays emulated behind real DRM connectors, for kelvane's tests");
MODULE_LICENSE("GPL");
