// SPDX-License-Identifier: GPL-2.0
/* One display: the DDC/CI endpoint, the EDID EEPROM, and the logs of what it saw. */
#include "kelvane_displays.h"

/* ---- the log of what the displays saw, and of their complaints ---- */

/* A whole line or nothing: a full log keeps what it holds. */
static void kd_log_line(char *log, size_t *length, const char *label, const char *separator,
			const char *line)
{
	if (*length + strlen(label) + strlen(separator) + strlen(line) + 2 < KD_LOG_SIZE)
		*length += scnprintf(log + *length, KD_LOG_SIZE - *length, "%s%s%s\n", label,
				     separator, line);
}

__printf(2, 3) void kd_record(struct kd_display *d, const char *fmt, ...)
{
	va_list args;
	char line[96];

	va_start(args, fmt);
	vscnprintf(line, sizeof(line), fmt, args);
	va_end(args);
	kd_log_line(kd_journal, &kd_journal_length, d->label, " ", line);
}

__printf(2, 3) void kd_violation(struct kd_display *d, const char *fmt, ...)
{
	va_list args;
	char line[160];

	va_start(args, fmt);
	vscnprintf(line, sizeof(line), fmt, args);
	va_end(args);
	d->violations++;
	kd_log_line(kd_violation_log, &kd_violation_length, d->label, ": ", line);
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

void kd_make_edid(u8 *edid, u8 serial)
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
bool kd_acknowledges(struct kd_display *d, u16 address, bool read)
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
void kd_write(struct kd_display *d, u16 address, const u8 *bytes, size_t size,
		     ktime_t start, ktime_t now)
{
	if (address == KD_DISPLAY_ADDRESS)
		kd_display_write(d, bytes, size, start, now);
	else
		kd_eeprom_write(d, bytes, size);
}

/* Prepares what a read message returns, in d->reply. */
void kd_read_begin(struct kd_display *d, u16 address, ktime_t now)
{
	if (address == KD_DISPLAY_ADDRESS)
		kd_display_reply(d, now);
	else
		kd_eeprom_reply(d);
}

/* Every message of a dead bus fails; what was sent is still recorded. */
void kd_dead_message(struct kd_display *d, const struct i2c_msg *msg)
{
	if (msg->addr == KD_EEPROM_ADDRESS && !(msg->flags & I2C_M_RD))
		kd_record(d, "edid");
	else if (msg->addr == KD_DISPLAY_ADDRESS && !(msg->flags & I2C_M_RD) && msg->len >= 4)
		kd_record(d, "%s %02X", msg->buf[2] == 0x01 ? "get" : "set", msg->buf[3]);
	else if (msg->addr != KD_DISPLAY_ADDRESS && msg->addr != KD_EEPROM_ADDRESS)
		kd_violation(d, "addressed 0x%02X", msg->addr);
}

