// SPDX-License-Identifier: GPL-2.0
/* The module: its state, debugfs (/sys/kernel/debug/kelvane/), and its start and end. */
#include "kelvane_displays.h"

DEFINE_MUTEX(kd_lock);
struct kd_output *kd_outputs;
int kd_output_count;
char *kd_journal;
size_t kd_journal_length;
char *kd_violation_log;
size_t kd_violation_length;
struct platform_device *kd_chipset;
static struct dentry *kd_debugfs;

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
