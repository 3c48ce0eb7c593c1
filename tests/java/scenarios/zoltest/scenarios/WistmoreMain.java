package zoltest.scenarios;

import com.sun.tools.attach.AgentInitializationException;
import com.sun.tools.attach.AgentLoadException;
import com.sun.tools.attach.VirtualMachine;

/**
 * Attaches to its own JVM (started with -Djdk.attach.allowAttachSelf=true)
 * and loads the agent at args[0], once per further argument ("-" for no
 * options), printing how each attach ended; then shows the JVM still runs.
 */
public final class WistmoreMain {
    private WistmoreMain() {}

    public static void main(String[] args) throws Exception {
        VirtualMachine vm = VirtualMachine.attach(String.valueOf(ProcessHandle.current().pid()));
        try {
            for (int i = 1; i < args.length; i++) {
                String options = args[i].equals("-") ? null : args[i];
                try {
                    if (options == null) {
                        vm.loadAgentPath(args[0]);
                    } else {
                        vm.loadAgentPath(args[0], options);
                    }
                    System.out.println("loaded");
                } catch (AgentInitializationException e) {
                    System.out.println("AgentInitializationException: " + e.getMessage() + ", return value "
                            + e.returnValue());
                } catch (AgentLoadException e) {
                    System.out.println("AgentLoadException: " + e.getMessage());
                }
            }
        } finally {
            vm.detach();
        }
        long sum = 0;
        for (int i = 0; i < 1000; i++) {
            sum += Integer.toString(i).length();
        }
        System.out.println("still running: " + sum);
    }
}
