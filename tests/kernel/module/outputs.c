// SPDX-License-Identifier: GPL-2.0
/* The DRM side: connectors, their simple display pipes, and the driver. */
#include "kelvane_displays.h"

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

const struct drm_mode_config_funcs kd_mode_config_funcs = {
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

const struct drm_driver kd_drm_driver = {
	.driver_features = DRIVER_MODESET | DRIVER_ATOMIC,
	.fops = &kd_fops,
	.name = "kelvane_displays",
	.desc = "displays emulated for kelvane's tests",
	.date = "20261211",
	.major = 1,
	.minor = 0,
};


int kd_add_connectors(struct kd_device *kd)
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

/* As `echo detect > status` does, for the connectors meant to be probed. */
void kd_probe_connectors(struct kd_device *kd)
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
