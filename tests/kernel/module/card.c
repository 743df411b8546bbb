// SPDX-License-Identifier: GPL-2.0
/* The card: the topology it is given, its I2C adapters, and the PCI driver. */
#include "kelvane_displays.h"

static char *topology = "";
module_param(topology, charp, 0444);
MODULE_PARM_DESC(topology, "the connectors, adapters and displays to emulate");

/* ---- the bound client at 0x37, as the ddcci driver binds it ---- */

static int kd_client_probe(struct i2c_client *client)
{
	return 0;
}

static const struct i2c_device_id kd_client_ids[] = {
	{ "kelvane-ddcci", 0 },
	{}
};

struct i2c_driver kd_client_driver = {
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

struct pci_driver kd_pci_driver = {
	.name = "kelvane_displays",
	.id_table = kd_pci_ids,
	.probe = kd_pci_probe,
	.remove = kd_pci_remove,
};
