'''A stand-in for the disk service (UDisks2) on a private test bus.

Loaded by python3-dbusmock as a template ("-t PATH"). The tests drive it over D-Bus through the
mock interface: AddCard puts a drive with one file system on the bus (mounted or not),
MountCard and RemoveCard change it, SetBusy makes its unmount fail as a volume in use does.
Unmount, PowerOff and Eject are recorded, so GetMethodCalls on an object shows what was asked.
'''

import dbus

from dbusmock import MOCK_IFACE
from dbusmock.mockobject import objects

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

BLOCK = 'org.freedesktop.UDisks2.Block'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'
DRIVE = 'org.freedesktop.UDisks2.Drive'
PROPERTIES = 'org.freedesktop.DBus.Properties'


def load(mock, _parameters):
    mock.AddProperties(MAIN_IFACE, {'Version': dbus.String('2.9.4')})


def drive_path(name):
    return f'{MAIN_OBJ}/drives/{name}'


def block_path(name):
    return f'{MAIN_OBJ}/block_devices/{name}1'


def mount_points(path):
    if not path:
        return dbus.Array([], signature='ay')
    return dbus.Array([dbus.ByteArray(path.encode() + b'\0')], signature='ay')


@dbus.service.method(MOCK_IFACE, in_signature='sssa{sv}', out_signature='s')
def AddCard(self, name, label, mount_point, options):
    '''A card reader drive NAME with a file system LABEL, mounted at MOUNT_POINT unless it is
    empty. Options: "system" (b, a disk of the system itself), "removable" (b, default true),
    "canPowerOff" (b, default true), "busy" (b). Answers the file system's object path.'''
    drive = drive_path(name)
    block = block_path(name)
    self.AddObject(drive, DRIVE, {
        'Vendor': dbus.String('Generic'),
        'Model': dbus.String('Card Reader'),
        'Removable': dbus.Boolean(options.get('removable', True)),
        'MediaRemovable': dbus.Boolean(options.get('removable', True)),
        'Ejectable': dbus.Boolean(options.get('removable', True)),
        'CanPowerOff': dbus.Boolean(options.get('canPowerOff', True)),
        'ConnectionBus': dbus.String('usb'),
    }, [
        ('PowerOff', 'a{sv}', '', ''),
        ('Eject', 'a{sv}', '', ''),
    ])
    self.AddObject(block, BLOCK, {
        'Device': dbus.ByteArray(f'/dev/{name}1'.encode() + b'\0'),
        'Drive': dbus.ObjectPath(drive),
        'IdLabel': dbus.String(label),
        'IdUsage': dbus.String('filesystem'),
        'IdType': dbus.String('vfat'),
        'HintSystem': dbus.Boolean(options.get('system', False)),
        'HintIgnore': dbus.Boolean(False),
    }, [])
    card = objects[block]
    card.busy = bool(options.get('busy', False))
    card.AddProperties(FILESYSTEM, {'MountPoints': mount_points(mount_point)})
    card.AddMethods(FILESYSTEM, [
        ('Mount', 'a{sv}', 's', 'ret = "/media/mock"'),
        ('Unmount', 'a{sv}', '', '''
if self.busy:
    raise dbus.exceptions.DBusException(
        'Error unmounting /dev/card1: target is busy',
        name='org.freedesktop.UDisks2.Error.DeviceBusy')
self.UpdateProperties('org.freedesktop.UDisks2.Filesystem',
                      {'MountPoints': dbus.Array([], signature='ay')})
'''),
    ])
    self.object_manager_emit_added(drive)
    self.object_manager_emit_added(block)
    return block


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def MountCard(self, name, mount_point):
    '''Mounts (or, with an empty path, unmounts) the card's file system.'''
    objects[block_path(name)].UpdateProperties(FILESYSTEM, {'MountPoints': mount_points(mount_point)})


@dbus.service.method(MOCK_IFACE, in_signature='sb', out_signature='')
def SetBusy(self, name, busy):
    objects[block_path(name)].busy = bool(busy)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def RemoveCard(self, name):
    '''The card is pulled: its file system and drive leave the bus.'''
    for path in (block_path(name), drive_path(name)):
        self.object_manager_emit_removed(path)
        self.RemoveObject(path)
