// SPDX-License-Identifier: GPL-2.0
/* The buses a display answers on: an ordinary I2C adapter, and a DP AUX channel. */
#include "kelvane_displays.h"

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

const struct i2c_algorithm kd_algorithm = {
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

ssize_t kd_aux_transfer(struct drm_dp_aux *aux, struct drm_dp_aux_msg *msg)
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

